#pragma once

#include "loopbacklistener.h"

#include <QByteArray>

#include <atomic>
#include <thread>

// A loopback HTTP server for hostile answers: to every request it writes `head`, then
// `chunk` `count` times, waiting `pauseMs` before each chunk, then `tail`, and closes.
// The body is written as it goes, never held whole, so an answer may be far larger than
// the test may use. It stops writing as soon as the client goes away.
class StreamingResponder {
public:
    StreamingResponder(QByteArray head, QByteArray chunk, qint64 count, int pauseMs = 0,
                       QByteArray tail = {});
    ~StreamingResponder();
    StreamingResponder(const StreamingResponder&) = delete;
    StreamingResponder& operator=(const StreamingResponder&) = delete;

    int port() const { return m_listener.port(); }
    // "http://127.0.0.1:PORT"
    QByteArray origin() const;
    // Body bytes written to the last client before it went away or the answer ended.
    qint64 bytesWritten() const { return m_written; }

private:
    void serve();
    // Writes all of `data` unless the client goes away; false when it did.
    bool writeAll(int client, const QByteArray& data);

    QByteArray m_head;
    QByteArray m_chunk;
    qint64 m_count = 0;
    int m_pauseMs = 0;
    QByteArray m_tail;
    // Closed after the serving thread has ended (declared before it).
    LoopbackListener m_listener{"StreamingResponder"};
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_written{0};
    std::thread m_thread;
};
