#include "loopbackresponder.h"

#include <sys/socket.h>
#include <unistd.h>

#include <vector>

LoopbackResponder::LoopbackResponder(QByteArray reply)
    : LoopbackResponder(QList<QByteArray>{std::move(reply)}) {}

LoopbackResponder::LoopbackResponder(QList<QByteArray> replies) : m_replies(std::move(replies)) {
    m_thread = std::thread([this] { serve(); });
}

LoopbackResponder::~LoopbackResponder() {
    m_stop = true;
    m_thread.join();
}

QString LoopbackResponder::origin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_listener.port());
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
        const int client = m_listener.accept();
        if (client < 0)
            continue;
        QByteArray request;
        bool complete = false;
        // Read the head, then as much body as Content-Length announces.
        while (!m_stop && !complete) {
            const LoopbackListener::Read read = LoopbackListener::readAvailable(client, request);
            if (read == LoopbackListener::Read::Nothing)
                continue;
            if (read == LoopbackListener::Read::Closed)
                break;
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
