#pragma once

#include <string>

// Ends a client's connection without an HTTP answer. The HTTP library does not hand the
// socket to handlers, so the socket is found by its two addresses among the process's
// descriptors and shut down in both directions; the library then fails its next read or
// write on it and closes it as a broken connection.
class ConnectionCloser {
public:
    // Shuts down the connection between the local port and the peer address and port.
    // Returns false when no such socket was found.
    static bool shutDown(int localPort, const std::string& peerAddress, int peerPort);
    // Shuts down every accepted connection on the local port (not the listening socket),
    // so that idle keep-alive connections end at once when the service stops.
    static void shutDownAll(int localPort);
};
