#include "loopbackresponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

LoopbackResponder::LoopbackResponder(QByteArray reply)
    : LoopbackResponder(QList<QByteArray>{std::move(reply)}) {}

LoopbackResponder::LoopbackResponder(QList<QByteArray> replies) : m_replies(std::move(replies)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        // A test against port 0 would fail in confusing ways; stop here instead.
        std::perror("LoopbackResponder: cannot listen on loopback");
        std::abort();
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackResponder::~LoopbackResponder() {
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

QString LoopbackResponder::origin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QList<QByteArray> LoopbackResponder::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QByteArray LoopbackResponder::lastRequest() const {
    std::lock_guard lock(m_mutex);
    return m_requests.isEmpty() ? QByteArray() : m_requests.last();
}

QByteArray LoopbackResponder::bodyOf(const QByteArray& request) {
    const qsizetype headEnd = request.indexOf("\r\n\r\n");
    return headEnd < 0 ? QByteArray() : request.mid(headEnd + 4);
}

void LoopbackResponder::serve() {
    std::vector<int> held;
    while (!m_stop) {
        pollfd listening{m_listener, POLLIN, 0};
        if (::poll(&listening, 1, 20) <= 0)
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        QByteArray request;
        bool complete = false;
        char buffer[4096];
        // Read the head, then as much body as Content-Length announces.
        while (!m_stop && !complete) {
            pollfd readable{client, POLLIN, 0};
            if (::poll(&readable, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0)
                break;
            request.append(buffer, n);
            const qsizetype headEnd = request.indexOf("\r\n\r\n");
            if (headEnd < 0)
                continue;
            qsizetype bodyLength = 0;
            for (const QByteArray& line : request.left(headEnd).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    bodyLength = line.mid(15).trimmed().toLongLong();
            }
            complete = request.size() >= headEnd + 4 + bodyLength;
        }
        if (!complete) {
            // The client left (or we are stopping) before a whole request arrived.
            ::close(client);
            continue;
        }
        QByteArray reply;
        {
            std::lock_guard lock(m_mutex);
            m_requests.append(request);
            reply = m_replies.value(qMin(m_requests.size(), m_replies.size()) - 1);
        }
        if (reply.isEmpty()) {
            held.push_back(client);
            continue;
        }
        for (qsizetype sent = 0; sent < reply.size();) {
            const ssize_t n =
                ::send(client, reply.constData() + sent, size_t(reply.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        ::close(client);
    }
    for (int client : held)
        ::close(client);
}
