#pragma once

#include <QByteArray>

// A listening socket on a free loopback port, for the responders that serve tests from
// their own thread. Every wait in here is short (20 ms), so a serving loop that calls it
// sees its stop flag promptly.
class LoopbackListener {
public:
    // Listens on 127.0.0.1 at a port the system picks. Aborts, naming `owner`, when it
    // cannot: a test against port 0 would fail in confusing ways.
    explicit LoopbackListener(const char* owner);
    // Closes the listening socket; connections already accepted are the caller's.
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int port() const { return m_port; }

    // Waits briefly for a connection; the accepted socket (the caller closes it), or -1
    // when none came or it could not be accepted.
    int accept() const;

    enum class Read { Some, Nothing, Closed };
    // Waits briefly for `client` to turn readable and appends what it reads to `into`.
    // Nothing when no byte came in time; Closed when the client went away or failed.
    static Read readAvailable(int client, QByteArray& into);

private:
    int m_socket = -1;
    int m_port = 0;
};
