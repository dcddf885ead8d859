#include "synchttp.h"
#include "loopbackresponder.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

const QByteArray okReply = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello";

HttpRequest requestTo(int port, const QString& path = QStringLiteral("/x")) {
    HttpRequest request;
    request.url = QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
    return request;
}

} // namespace

TEST(SyncHttp, DoesNotDispatchDueTimersOrQueuedCallsWhileWaiting) {
    LoopbackResponder responder(okReply);
    bool timerFired = false;
    bool queuedCallRan = false;
    QTimer::singleShot(0, [&] { timerFired = true; });
    QMetaObject::invokeMethod(
        qApp, [&] { queuedCallRan = true; }, Qt::QueuedConnection);

    const HttpResponse response = SyncHttp::send(requestTo(responder.port()));

    EXPECT_TRUE(response.received);
    EXPECT_FALSE(timerFired);
    EXPECT_FALSE(queuedCallRan);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(timerFired);
    EXPECT_TRUE(queuedCallRan);
}

TEST(SyncHttp, ReturnsStatusAndBody) {
    LoopbackResponder responder(
        "HTTP/1.1 404 Not Found\r\nContent-Length: 7\r\nConnection: close\r\n\r\nmissing");
    const HttpResponse response = SyncHttp::send(requestTo(responder.port()));
    EXPECT_TRUE(response.received);
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.data, "missing");
}

TEST(SyncHttp, SendsMethodHeadersAndBodyAsGiven) {
    LoopbackResponder responder(okReply);
    HttpRequest request = requestTo(responder.port(), QStringLiteral("/api//users/a/albums/"));
    request.method = "PUT";
    request.body = "<entry/>";
    request.setHeader("Content-Type", "application/atom+xml; type=entry");
    request.setHeader("Authorization", "ZimpToken realm=\"r\", token=\"t\"");

    ASSERT_TRUE(SyncHttp::send(request).received);
    const QByteArray sent = responder.lastRequest();
    EXPECT_TRUE(sent.startsWith("PUT /api//users/a/albums/ HTTP/1.1\r\n")) << sent.constData();
    EXPECT_TRUE(sent.contains("Content-Type: application/atom+xml; type=entry\r\n"));
    EXPECT_TRUE(sent.contains("Authorization: ZimpToken realm=\"r\", token=\"t\"\r\n"));
    EXPECT_TRUE(sent.endsWith("\r\n\r\n<entry/>"));
}

TEST(SyncHttp, AnUnansweredRequestTimesOutAsNoResponse) {
    LoopbackResponder responder(QByteArray{});
    HttpRequest request = requestTo(responder.port());
    request.timeoutSeconds = 0.3;
    const HttpResponse response = SyncHttp::send(request);
    EXPECT_FALSE(response.received);
    EXPECT_EQ(response.status, 0);
    EXPECT_TRUE(response.data.isEmpty());
}

TEST(SyncHttp, RefusedConnectionAndBadUrlAreNoResponse) {
    int closedPort = 0;
    {
        LoopbackResponder gone(okReply);
        closedPort = gone.port();
    }
    EXPECT_FALSE(SyncHttp::send(requestTo(closedPort)).received);

    HttpRequest bad;
    bad.url = QStringLiteral("not a url");
    EXPECT_FALSE(SyncHttp::send(bad).received);
}

TEST(SyncHttp, SendsFromSeveralThreadsAtOnceAllComplete) {
    LoopbackResponder responder(okReply);
    std::atomic<int> answered{0};
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i) {
        senders.emplace_back([&] {
            for (int j = 0; j < 5; ++j) {
                const HttpResponse response = SyncHttp::send(requestTo(responder.port()));
                if (response.received && response.data == "hello")
                    ++answered;
            }
        });
    }
    for (auto& sender : senders)
        sender.join();
    EXPECT_EQ(answered, 20);
    EXPECT_EQ(responder.requests().size(), 20);
}

TEST(SyncHttp, AnUnusableTimeOutStillEndsTheRequest) {
    LoopbackResponder responder(QByteArray{});
    for (const double seconds : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        HttpRequest request = requestTo(responder.port());
        request.timeoutSeconds = seconds;
        EXPECT_FALSE(SyncHttp::send(request).received) << seconds;
    }
}
