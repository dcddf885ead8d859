#include "scriptedhttpserver.h"

#include <QHostAddress>
#include <QTcpSocket>

ScriptedHttpServer::ScriptedHttpServer() {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedHttpServer::accept);
}

QString ScriptedHttpServer::origin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

void ScriptedHttpServer::setAnswer(int status, const QByteArray& body) {
    m_status = status;
    m_body = body;
}

void ScriptedHttpServer::releaseAnswers() {
    m_hold = false;
    const QList<QTcpSocket*> waiting = std::exchange(m_waiting, {});
    for (QTcpSocket* socket : waiting)
        answer(socket);
}

void ScriptedHttpServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_accepted;
        m_connections[socket] = Connection{};
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (!m_connections[socket].answered)
                ++m_closedUnanswered;
            m_connections.erase(socket);
            m_waiting.removeAll(socket);
            socket->deleteLater();
        });
    }
}

void ScriptedHttpServer::read(QTcpSocket* socket) {
    Connection& c = m_connections[socket];
    c.received += socket->readAll();
    if (c.headLength < 0) {
        const qsizetype end = c.received.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        c.headLength = end + 4;
        for (const QByteArray& line : c.received.left(end).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                c.bodyLength = line.mid(15).trimmed().toLongLong();
        }
    }
    if (c.received.size() - c.headLength < c.bodyLength || c.answered)
        return;
    m_heads.append(c.received.left(c.headLength));
    m_bodies.append(c.received.mid(c.headLength, c.bodyLength));
    c.received.clear();
    c.headLength = -1;
    if (m_hold)
        m_waiting.append(socket);
    else
        answer(socket);
}

void ScriptedHttpServer::answer(QTcpSocket* socket) {
    m_connections[socket].answered = true;
    socket->write(QByteArray("HTTP/1.1 ") + QByteArray::number(m_status) + " Scripted\r\n" +
                  "Content-Type: text/plain\r\nContent-Length: " +
                  QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body);
    socket->disconnectFromHost();
}
