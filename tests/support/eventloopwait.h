#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// Runs the event loop until `done` holds or `timeoutMs` passes; true when it holds.
// Blocks only inside the event loop (no sleeping): a short timer wakes it so the
// deadline and conditions that no event announces are still seen.
inline bool runEventLoopUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}
