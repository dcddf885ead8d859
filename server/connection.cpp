#include "connection.h"

#include <openssl/err.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool describe(const sockaddr_storage& address, std::string& text, int& port) {
    char buffer[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer);
        port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &in6->sin6_addr, buffer, sizeof buffer);
        port = ntohs(in6->sin6_port);
    } else {
        return false;
    }
    text = buffer;
    return true;
}

bool waitFor(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    while (true) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

} // namespace

Connection::Connection(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        describe(address, remoteAddress, remotePort);
    length = sizeof address;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        describe(address, localAddress, localPort);
}

Connection::~Connection() {
    if (ssl_) {
        if (handshaken_)
            SSL_shutdown(ssl_); // best effort close_notify; never waits on a non-blocking socket
        SSL_free(ssl_);
    }
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
}

Connection::Progress Connection::handshake() {
    if (handshakeDone())
        return Progress::Done;
    ERR_clear_error();
    const int result = SSL_accept(ssl_);
    if (result == 1) {
        handshaken_ = true;
        return Progress::Done;
    }
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return Progress::Again;
    return Progress::Closed;
}

bool Connection::hasPendingTls() const {
    return ssl_ && handshaken_ && SSL_pending(ssl_) > 0;
}

long Connection::readSome(char* out, std::size_t size) {
    if (ssl_) {
        ERR_clear_error();
        const int n = SSL_read(ssl_, out, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
        if (n > 0)
            return n;
        const int error = SSL_get_error(ssl_, n);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            wantRead_ = error == SSL_ERROR_WANT_READ;
            return -2;
        }
        return error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    while (true) {
        const ssize_t n = ::recv(fd_, out, size, 0);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            wantRead_ = true;
            return -2;
        }
        return -1;
    }
}

long Connection::writeSome(const char* data, std::size_t size) {
    if (ssl_) {
        ERR_clear_error();
        const int n = SSL_write(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
        if (n > 0)
            return n;
        const int error = SSL_get_error(ssl_, n);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            wantRead_ = error == SSL_ERROR_WANT_READ;
            return -2;
        }
        return -1;
    }
    while (true) {
        const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            wantRead_ = false;
            return -2;
        }
        return -1;
    }
}

Connection::Progress Connection::fill(std::size_t limit) {
    if (consumed_ > 0 && consumed_ == buffer_.size()) {
        buffer_.clear();
        consumed_ = 0;
    }
    bool got = false;
    while (buffer_.size() - consumed_ < limit) {
        char chunk[16 * 1024];
        const std::size_t room = std::min(sizeof chunk, limit - (buffer_.size() - consumed_));
        const long n = readSome(chunk, room);
        if (n == -2)
            break;
        if (n <= 0)
            return Progress::Closed;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        got = true;
    }
    return got ? Progress::Done : Progress::Again;
}

bool Connection::hasRequestHead() const {
    return !requestHead().empty();
}

std::string_view Connection::requestHead() const {
    const std::string_view rest(buffer_.data() + consumed_, buffer_.size() - consumed_);
    const std::size_t crlf = rest.find("\r\n\r\n");
    const std::size_t lf = rest.find("\n\n");
    const std::size_t end =
        std::min(crlf == rest.npos ? rest.npos : crlf + 4, lf == rest.npos ? rest.npos : lf + 2);
    return end == rest.npos ? std::string_view() : rest.substr(0, end);
}

bool Connection::waitReadable(int timeoutMs) const {
    if (buffered() > 0 || hasPendingTls())
        return true;
    return waitFor(fd_, POLLIN, timeoutMs);
}

bool Connection::waitWritable(int timeoutMs) const {
    return waitFor(fd_, POLLOUT, timeoutMs);
}

long Connection::read(char* out, std::size_t size, int timeoutMs) {
    if (size == 0)
        return 0;
    if (buffered() > 0) {
        const std::size_t n = std::min(size, buffered());
        std::memcpy(out, buffer_.data() + consumed_, n);
        consumed_ += n;
        if (consumed_ == buffer_.size()) {
            buffer_.clear();
            consumed_ = 0;
        }
        return static_cast<long>(n);
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const long n = readSome(out, size);
        if (n != -2)
            return n;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !waitFor(fd_, wantRead_ ? POLLIN : POLLOUT, static_cast<int>(left)))
            return -1;
    }
}

long Connection::write(const char* data, std::size_t size, int timeoutMs) {
    std::size_t done = 0;
    while (done < size) {
        const long n = writeSome(data + done, size - done);
        if (n == -2) {
            if (!waitFor(fd_, wantRead_ ? POLLIN : POLLOUT, timeoutMs))
                return -1;
            continue;
        }
        if (n <= 0)
            return -1;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(size);
}
