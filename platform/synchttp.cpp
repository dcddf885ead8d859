#include "synchttp.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <future>
#include <limits>
#include <memory>
#include <mutex>

namespace {

// The network thread and its access manager, created on first use and stopped before the
// application object goes away. Once made it lives until the process ends (a stopped one
// stays, marked, so that late callers get a clean refusal instead of a dangling pointer).
struct NetworkThread {
    QThread thread;
    QObject* context = nullptr; // lives in the thread, owns the access manager
    QNetworkAccessManager* manager = nullptr;
    bool stopped = false;
};

std::mutex threadMutex;
NetworkThread* running = nullptr; // guarded by threadMutex

void stopNetworkThread() {
    std::lock_guard lock(threadMutex);
    if (!running || running->stopped)
        return;
    running->stopped = true;
    // Deleting the context deletes the manager and every reply in flight; their waiters
    // see an abandoned promise or the stopped flag.
    QObject* context = running->context;
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    running->context = nullptr;
    running->manager = nullptr;
    running->thread.quit();
    running->thread.wait();
}

// Starts the thread on first use. Call with threadMutex held.
NetworkThread* networkThreadLocked() {
    if (!running) {
        running = new NetworkThread;
        running->thread.setObjectName(QStringLiteral("sync-http"));
        running->context = new QObject;
        running->context->moveToThread(&running->thread);
        running->thread.start();
        QObject* context = running->context;
        QNetworkAccessManager*& manager = running->manager;
        QMetaObject::invokeMethod(
            context, [context, &manager] { manager = new QNetworkAccessManager(context); },
            Qt::BlockingQueuedConnection);
        qAddPostRoutine(stopNetworkThread);
    }
    return running;
}

bool isStopped(const NetworkThread* net) {
    std::lock_guard lock(threadMutex);
    return net->stopped;
}

// The idle time-out in milliseconds, kept within what a timer can take.
int timeoutMilliseconds(double seconds) {
    const double ms = seconds * 1000;
    if (!(ms >= 1))
        return 1;
    return ms >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                         : int(ms);
}

// The reply's own buffer when the answer is capped.
constexpr qint64 readBufferBytes = 256 * 1024;

bool isTransportError(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError;
}

HttpResponse::Failure failureOf(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return HttpResponse::Failure::ConnectionRefused;
    case QNetworkReply::HostNotFoundError:
        return HttpResponse::Failure::HostNotFound;
    case QNetworkReply::RemoteHostClosedError:
        return HttpResponse::Failure::ConnectionClosed;
    case QNetworkReply::TimeoutError:
        return HttpResponse::Failure::TimedOut;
    case QNetworkReply::ProtocolUnknownError:
        return HttpResponse::Failure::UnsupportedScheme;
    default:
        return HttpResponse::Failure::Other;
    }
}

} // namespace

HttpResponse SyncHttp::send(const HttpRequest& request) {
    HttpResponse failed;
    failed.failure = HttpResponse::Failure::Other;
    const QUrl url(request.url, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
        failed.error = QStringLiteral("invalid URL");
        failed.failure = HttpResponse::Failure::InvalidUrl;
        return failed;
    }
    if (!QCoreApplication::instance()) {
        failed.error = QStringLiteral("no application object");
        return failed;
    }

    auto done = std::make_shared<std::promise<HttpResponse>>();
    std::future<HttpResponse> result = done->get_future();

    std::unique_lock lock(threadMutex);
    NetworkThread* net = networkThreadLocked();
    if (net->stopped) {
        failed.error = QStringLiteral("network thread stopped");
        return failed;
    }
    QNetworkAccessManager* manager = net->manager;
    const int timeoutMs = timeoutMilliseconds(request.timeoutSeconds);
    // Posted while the lock is held, so a stop cannot come between the check and the post.
    const int deadlineMs =
        request.deadlineSeconds > 0 ? timeoutMilliseconds(request.deadlineSeconds) : 0;
    QMetaObject::invokeMethod(net->context, [manager, request, url, done, timeoutMs, deadlineMs] {
        QNetworkRequest netRequest(url);
        netRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                QNetworkRequest::AlwaysNetwork);
        netRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        netRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::ManualRedirectPolicy);
        for (const auto& [name, value] : request.headers)
            netRequest.setRawHeader(name, value);

        QNetworkReply* reply = nullptr;
        if (request.body.isEmpty() && request.method == "GET")
            reply = manager->get(netRequest);
        else
            reply = manager->sendCustomRequest(netRequest, request.method, request.body);

        // The time-out counts from the last sign of progress, on a precise timer (Qt's own
        // transfer time-out runs on a coarse one and may fire 5 % early).
        auto* idle = new QTimer(reply);
        idle->setTimerType(Qt::PreciseTimer);
        idle->setSingleShot(true);
        idle->setInterval(timeoutMs);
        const auto progressed = [idle] { idle->start(); };
        QObject::connect(reply, &QNetworkReply::uploadProgress, idle, progressed);
        QObject::connect(reply, &QNetworkReply::downloadProgress, idle, progressed);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, idle, progressed);
        idle->start();

        // Why this side abandoned the request, if it did; read when the reply finishes.
        auto abandoned = std::make_shared<HttpResponse::Failure>(HttpResponse::Failure::None);
        const auto abandon = [reply, abandoned](HttpResponse::Failure why) {
            if (*abandoned == HttpResponse::Failure::None)
                *abandoned = why;
            reply->abort();
        };
        QObject::connect(idle, &QTimer::timeout, reply,
                         [abandon] { abandon(HttpResponse::Failure::TimedOut); });
        if (deadlineMs > 0) {
            auto* deadline = new QTimer(reply);
            deadline->setTimerType(Qt::PreciseTimer);
            deadline->setSingleShot(true);
            QObject::connect(deadline, &QTimer::timeout, reply,
                             [abandon] { abandon(HttpResponse::Failure::DeadlinePassed); });
            deadline->start(deadlineMs);
        }
        // The answer as read so far. With a cap it is taken from the reply as it comes, and
        // the reply's own buffer is kept small: Qt then stops reading from the socket
        // while the buffer is full, so no more than the cap and one buffer are ever held
        // however fast the peer sends.
        auto body = std::make_shared<QByteArray>();
        if (const qint64 cap = request.maxAnswerBytes; cap >= 0) {
            reply->setReadBufferSize(readBufferBytes);
            QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, cap, abandon] {
                const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
                if (length.isValid() && length.toLongLong() > cap)
                    abandon(HttpResponse::Failure::TooLarge);
            });
            QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, body, cap, abandon] {
                body->append(reply->readAll());
                if (body->size() > cap) {
                    body->clear();
                    abandon(HttpResponse::Failure::TooLarge);
                }
            });
        }

        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done, abandoned, body] {
            HttpResponse response;
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (*abandoned != HttpResponse::Failure::None) {
                response.failure = *abandoned;
                response.error = reply->errorString();
                if (*abandoned == HttpResponse::Failure::TooLarge)
                    response.status = status.toInt();
            } else if (status.isValid() && !isTransportError(reply->error())) {
                response.received = true;
                response.status = status.toInt();
                response.data = std::move(*body) + reply->readAll();
            } else {
                response.failure = failureOf(reply->error());
                response.error = reply->errorString();
            }
            reply->deleteLater();
            done->set_value(std::move(response));
        });
    });
    lock.unlock();

    // The request ends by itself (answer, failure or idle time-out); the slices only let
    // a waiter notice that the thread was stopped under it.
    while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (isStopped(net)) {
            failed.error = QStringLiteral("network thread stopped");
            return failed;
        }
    }
    try {
        return result.get();
    } catch (const std::future_error&) {
        failed.error = QStringLiteral("request abandoned");
        return failed;
    }
}
