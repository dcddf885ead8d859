#pragma once

#include <optional>
#include <string>

// A plain TCP client for wire-level tests of the service: sends bytes as given and reads
// answers framed by Content-Length, each wait bounded by a time-out.
class RawClient {
public:
    struct Answer {
        int status = 0;
        std::string head;
        std::string body;
    };

    RawClient() = default;
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // Connects to 127.0.0.1:port; false on failure.
    bool connect(int port);
    bool send(const std::string& bytes);
    // Ends the sending direction (the peer reads the end of the stream); reading goes on.
    void halfClose();
    // The next answer; empty on time-out, a closed connection or an unreadable answer.
    std::optional<Answer> read(int timeoutMs = 5000);
    // True when the service closes the connection (end of stream) within `timeoutMs`.
    bool closedWithin(int timeoutMs);

private:
    // Appends what arrives within `timeoutMs`; false on time-out or end of stream.
    bool fill(int timeoutMs);

    int fd_ = -1;
    std::string buffer_;
};
