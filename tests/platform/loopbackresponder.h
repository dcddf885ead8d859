#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <thread>

// A one-connection-at-a-time HTTP responder on a loopback port, running on its own
// thread so that a caller blocked in a synchronous request can still be answered.
// It answers every request with `reply`, or holds the connection open unanswered
// when `reply` is empty.
class LoopbackResponder {
public:
    explicit LoopbackResponder(QByteArray reply);
    ~LoopbackResponder();

    int port() const { return m_port; }
    // The bytes of the last request read (headers and body).
    QByteArray lastRequest() const;

private:
    void serve();

    QByteArray m_reply;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::atomic<QByteArray*> m_last{nullptr};
    std::thread m_thread;
};
