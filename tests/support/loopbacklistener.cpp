#include "loopbacklistener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

LoopbackListener::LoopbackListener(const char* owner) {
    m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_socket, 8) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        std::fprintf(stderr, "%s: cannot listen on loopback: %s\n", owner, std::strerror(error));
        std::abort();
    }
    m_port = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
    ::close(m_socket);
}

int LoopbackListener::accept() const {
    pollfd listening{m_socket, POLLIN, 0};
    if (::poll(&listening, 1, 20) <= 0)
        return -1;
    return ::accept(m_socket, nullptr, nullptr);
}

LoopbackListener::Read LoopbackListener::readAvailable(int client, QByteArray& into) {
    pollfd readable{client, POLLIN, 0};
    if (::poll(&readable, 1, 20) <= 0)
        return Read::Nothing;
    char buffer[4096];
    const ssize_t n = ::read(client, buffer, sizeof buffer);
    if (n <= 0)
        return Read::Closed;
    into.append(buffer, n);
    return Read::Some;
}
