#include "streamingresponder.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

StreamingResponder::StreamingResponder(QByteArray head, QByteArray chunk, qint64 count, int pauseMs,
                                       QByteArray tail)
    : m_head(std::move(head)), m_chunk(std::move(chunk)), m_count(count), m_pauseMs(pauseMs),
      m_tail(std::move(tail)) {
    m_thread = std::thread([this] { serve(); });
}

StreamingResponder::~StreamingResponder() {
    m_stop = true;
    m_thread.join();
}

QByteArray StreamingResponder::origin() const {
    return "http://127.0.0.1:" + QByteArray::number(m_listener.port());
}

bool StreamingResponder::writeAll(int client, const QByteArray& data) {
    for (qsizetype sent = 0; sent < data.size();) {
        if (m_stop)
            return false;
        pollfd writable{client, POLLOUT, 0};
        if (::poll(&writable, 1, 20) <= 0)
            continue;
        if (writable.revents & (POLLERR | POLLHUP))
            return false;
        const ssize_t n =
            ::send(client, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

void StreamingResponder::serve() {
    while (!m_stop) {
        const int client = m_listener.accept();
        if (client < 0)
            continue;
        // The request's head is read and ignored: every request gets the same answer.
        QByteArray request;
        while (!m_stop && !request.contains("\r\n\r\n")) {
            if (LoopbackListener::readAvailable(client, request) == LoopbackListener::Read::Closed)
                break;
        }
        m_written = 0;
        bool open = writeAll(client, m_head);
        for (qint64 i = 0; open && i < m_count; ++i) {
            if (m_pauseMs > 0) {
                // The pause ends early when the client closes (the socket turns readable).
                pollfd gone{client, POLLIN, 0};
                char peek = 0;
                if (::poll(&gone, 1, m_pauseMs) > 0 && ::recv(client, &peek, 1, MSG_PEEK) <= 0)
                    break;
            }
            open = writeAll(client, m_chunk);
            if (open)
                m_written += m_chunk.size();
        }
        if (open)
            writeAll(client, m_tail);
        ::close(client);
    }
}
