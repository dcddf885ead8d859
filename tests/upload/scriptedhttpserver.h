#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <map>

class QTcpSocket;

// A small HTTP/1.1 server on a free loopback port, served by the test's own event loop.
// It reads each request's head and Content-Length body, keeps them, and answers as the
// test scripts it: at once, or only after `releaseAnswers`.
class ScriptedHttpServer : public QObject {
public:
    ScriptedHttpServer();

    // "http://127.0.0.1:PORT".
    QString origin() const;
    // The answer to every request: status line code and body.
    void setAnswer(int status, const QByteArray& body);
    // While held, complete requests wait for `releaseAnswers`.
    void holdAnswers() { m_hold = true; }
    void releaseAnswers();

    // Heads and bodies of the requests read in full, in arrival order.
    const QList<QByteArray>& heads() const { return m_heads; }
    const QList<QByteArray>& bodies() const { return m_bodies; }
    int connectionsAccepted() const { return m_accepted; }
    int connectionsClosedUnanswered() const { return m_closedUnanswered; }

private:
    struct Connection {
        QByteArray received;
        qsizetype headLength = -1; // head and its blank line; -1 until complete
        qint64 bodyLength = 0;
        bool answered = false;
    };

    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket);

    QTcpServer m_server;
    std::map<QTcpSocket*, Connection> m_connections;
    QList<QTcpSocket*> m_waiting;
    int m_status = 200;
    QByteArray m_body = "OK 1";
    bool m_hold = false;
    QList<QByteArray> m_heads;
    QList<QByteArray> m_bodies;
    int m_accepted = 0;
    int m_closedUnanswered = 0;
};
