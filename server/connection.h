#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

// One accepted client connection of the service, plain or TLS, with the bytes read ahead of
// the request being served. The socket is non-blocking throughout: the park reads what has
// arrived without waiting, workers wait with a time-out (see ConnectionStream).
class Connection {
public:
    using Clock = std::chrono::steady_clock;
    enum class Progress { Done, Again, Closed };

    // Takes the socket and, for TLS, the session on it; both are released on destruction.
    Connection(int fd, SSL* ssl);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return fd_; }
    bool isTls() const { return ssl_ != nullptr; }

    // TLS only: advances the handshake without waiting. Done once it completed.
    Progress handshake();
    bool handshakeDone() const { return !ssl_ || handshaken_; }

    // Appends what has arrived (at most `limit` buffered bytes in all) without waiting:
    // Done when something was read, Again when nothing is there yet, Closed at the end of
    // the stream or on an error.
    Progress fill(std::size_t limit);
    // True when the buffered bytes hold a whole request head (up to its empty line).
    bool hasRequestHead() const;
    // The buffered request head up to its empty line; empty when it has not arrived whole.
    std::string_view requestHead() const;
    std::size_t buffered() const { return buffer_.size() - consumed_; }
    // Bytes decrypted but not yet read by TLS, invisible to a readiness poll.
    bool hasPendingTls() const;

    // Waits at most `timeoutMs` for bytes, then reads up to `size` of them, buffered ones
    // first. Returns the count, 0 at the end of the stream, -1 on time-out or error.
    long read(char* out, std::size_t size, int timeoutMs);
    // Writes everything, waiting at most `timeoutMs` each time the socket is full.
    // Returns `size`, or -1 on time-out or error.
    long write(const char* data, std::size_t size, int timeoutMs);
    // Waits at most `timeoutMs` until the socket can be read (true at once when bytes are
    // buffered) or written.
    bool waitReadable(int timeoutMs) const;
    bool waitWritable(int timeoutMs) const;

    std::string remoteAddress;
    int remotePort = 0;
    std::string localAddress;
    int localPort = 0;
    // Requests served on this connection so far.
    std::size_t served = 0;
    // Parked idle since; the first byte of the next request arrived at (or the epoch).
    Clock::time_point idleSince{};
    Clock::time_point headStarted{};

private:
    long readSome(char* out, std::size_t size);         // -2: would block
    long writeSome(const char* data, std::size_t size); // -2: would block (wantRead_ says why)

    int fd_;
    SSL* ssl_;
    bool handshaken_ = false;
    bool wantRead_ = false; // TLS: the last blocked operation waits for input
    std::string buffer_;
    std::size_t consumed_ = 0;
};
