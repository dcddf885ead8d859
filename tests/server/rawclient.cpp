#include "rawclient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <strings.h>

RawClient::~RawClient() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool RawClient::connect(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    int yes = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool RawClient::send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void RawClient::halfClose() {
    ::shutdown(fd_, SHUT_WR);
}

bool RawClient::fill(int timeoutMs) {
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) <= 0)
        return false;
    char chunk[65536];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

std::optional<RawClient::Answer> RawClient::read(int timeoutMs) {
    std::size_t end = 0;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(timeoutMs))
            return std::nullopt;
    }
    Answer answer;
    answer.head = buffer_.substr(0, end + 2);
    if (answer.head.size() < 12)
        return std::nullopt;
    answer.status = std::atoi(answer.head.c_str() + 9);
    std::size_t length = 0;
    std::size_t line = 0;
    while ((line = answer.head.find("\r\n", line)) != std::string::npos) {
        line += 2;
        if (strncasecmp(answer.head.c_str() + line, "Content-Length:", 15) == 0)
            length = std::strtoul(answer.head.c_str() + line + 15, nullptr, 10);
    }
    buffer_.erase(0, end + 4);
    while (buffer_.size() < length) {
        if (!fill(timeoutMs))
            return std::nullopt;
    }
    answer.body = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return answer;
}

bool RawClient::closedWithin(int timeoutMs) {
    while (true) {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) <= 0)
            return false;
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            return true;
    }
}
