#include "synchttp.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <future>
#include <memory>
#include <mutex>

namespace {

// The network thread and its access manager, created on first use and stopped
// before the application object goes away.
struct NetworkThread {
    std::unique_ptr<QThread> thread;
    std::unique_ptr<QObject> context; // lives in the thread; owns the access manager
    QNetworkAccessManager* manager = nullptr;
};

std::mutex threadMutex;
NetworkThread* running = nullptr;

void stopNetworkThread() {
    std::lock_guard lock(threadMutex);
    if (!running)
        return;
    QObject* context = running->context.release();
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    running->thread->quit();
    running->thread->wait();
    delete running;
    running = nullptr;
}

NetworkThread& networkThread() {
    std::lock_guard lock(threadMutex);
    if (!running) {
        running = new NetworkThread;
        running->thread = std::make_unique<QThread>();
        running->thread->setObjectName(QStringLiteral("sync-http"));
        running->context = std::make_unique<QObject>();
        running->context->moveToThread(running->thread.get());
        running->thread->start();
        QObject* context = running->context.get();
        QNetworkAccessManager*& manager = running->manager;
        QMetaObject::invokeMethod(
            context, [context, &manager] { manager = new QNetworkAccessManager(context); },
            Qt::BlockingQueuedConnection);
        qAddPostRoutine(stopNetworkThread);
    }
    return *running;
}

bool isTransportError(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError;
}

} // namespace

HttpResponse SyncHttp::send(const HttpRequest& request) {
    HttpResponse failed;
    const QUrl url(request.url, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
        failed.error = QStringLiteral("invalid URL");
        return failed;
    }
    if (!QCoreApplication::instance()) {
        failed.error = QStringLiteral("no application object");
        return failed;
    }

    NetworkThread& net = networkThread();
    auto done = std::make_shared<std::promise<HttpResponse>>();
    std::future<HttpResponse> result = done->get_future();

    QNetworkAccessManager* manager = net.manager;
    QMetaObject::invokeMethod(net.context.get(), [manager, request, url, done] {
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
        idle->setInterval(static_cast<int>(request.timeoutSeconds * 1000));
        QObject::connect(idle, &QTimer::timeout, reply, &QNetworkReply::abort);
        const auto progressed = [idle] { idle->start(); };
        QObject::connect(reply, &QNetworkReply::uploadProgress, idle, progressed);
        QObject::connect(reply, &QNetworkReply::downloadProgress, idle, progressed);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, idle, progressed);
        idle->start();

        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done] {
            HttpResponse response;
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (status.isValid() && !isTransportError(reply->error())) {
                response.received = true;
                response.status = status.toInt();
                response.data = reply->readAll();
            } else {
                response.error = reply->errorString();
            }
            reply->deleteLater();
            done->set_value(std::move(response));
        });
    });
    return result.get();
}
