#pragma once

#include "loopbacklistener.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// A one-connection-at-a-time HTTP responder on a loopback port, running on its own
// thread so that a caller blocked in a synchronous request can still be answered.
// The n-th request gets the n-th reply (the last one repeats); an empty reply holds
// the connection open unanswered.
class LoopbackResponder {
public:
    explicit LoopbackResponder(QByteArray reply);
    explicit LoopbackResponder(QList<QByteArray> replies);
    ~LoopbackResponder();

    int port() const { return m_listener.port(); }
    QString origin() const;
    // Every request read so far (head and body), in arrival order.
    QList<QByteArray> requests() const;
    // The bytes of the last request read.
    QByteArray lastRequest() const;
    // The body of a request: what follows its head.
    static QByteArray bodyOf(const QByteArray& request);

private:
    void serve();

    QList<QByteArray> m_replies;
    // Closed after the serving thread has ended (declared before it).
    LoopbackListener m_listener{"LoopbackResponder"};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};
