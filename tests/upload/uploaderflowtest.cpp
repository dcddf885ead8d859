// The uploader's requests and events against a scripted loopback server.
#include "log.h"
#include "ovpiktoexporteruploader.h"
#include "scriptedhttpserver.h"
#include "streamingresponder.h"
#include "uploadrecorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

class UploaderFlow : public ::testing::Test {
protected:
    void SetUp() override {
        photoPath = dir.filePath(QStringLiteral("photo.jpg"));
        QFile file(photoPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(2 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        file.write(bytes);
    }

    // An uploader for the photo that posts to `origin`, reporting to `recorder`.
    std::unique_ptr<OvPiktoExporterUploader> makeUploader() {
        return makeUploader(server.origin());
    }
    std::unique_ptr<OvPiktoExporterUploader> makeUploader(const QString& origin) {
        auto uploader = std::make_unique<OvPiktoExporterUploader>(ServiceUrls(origin), &recorder);
        OVPiktoUploadOptions options(photoPath);
        options.setFileName(QStringLiteral("photo.jpg"));
        options.setAlbumID(QStringLiteral("42"));
        OVPiktoCredentials credentials(QStringLiteral("demo"), QStringLiteral("password"));
        credentials.setToken(QStringLiteral("demo:token"));
        uploader->setUploadOptions(options);
        uploader->setCredentials(credentials);
        recorder.uploader = uploader.get();
        return uploader;
    }

    ScriptedHttpServer server;
    QTemporaryDir dir;
    QString photoPath;
    UploadRecorder recorder;
};

TEST_F(UploaderFlow, NormalUploadRaisesOpenTicksAnswerFinishThenStop) {
    server.holdAnswers();
    auto uploader = makeUploader();
    uploader->start();
    EXPECT_TRUE(uploader->isRequestInProgress());
    // The answer waits until the whole body is in and a progress tick has been seen.
    ASSERT_TRUE(
        waitUntil([&] { return server.bodies().size() == 1 && recorder.calls.contains("10"); }));
    server.releaseAnswers();
    ASSERT_TRUE(waitUntil([&] { return recorder.ended(); }));

    // Ticks go on until the request is released, so a few may fall between 9 and 11.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^start:1 8 10… 9 (10… )?11 stop$"))
                    .match(recorder.summary())
                    .hasMatch())
        << recorder.summary().toStdString();
    const std::optional<QByteArray> body = uploader->createPostData();
    ASSERT_TRUE(body);
    EXPECT_EQ(server.bodies().first(), *body);
    const QByteArray head = server.heads().first();
    EXPECT_TRUE(head.startsWith("POST /post/ HTTP/1.1\r\n"));
    EXPECT_TRUE(
        head.contains("\r\nContent-Type: " + OvPiktoExporterUploader::contentType() + "\r\n"));
    EXPECT_FALSE(head.toLower().contains("authorization"));
    // Progress only grows, and the answer comes after the last body byte was counted.
    for (qsizetype i = 1; i < recorder.sentAt.size(); ++i)
        EXPECT_LE(recorder.sentAt[i - 1], recorder.sentAt[i]);
    EXPECT_EQ(recorder.sentAt.last(), body->size());
    EXPECT_FALSE(uploader->isRequestInProgress());
    EXPECT_EQ(uploader->bytesSent(), -1);
}

TEST_F(UploaderFlow, OnlyTheExactFailureTextIsEventTwelve) {
    const struct {
        int status;
        QByteArray answer;
        const char* expected;
    } table[] = {
        {200, "Upload failed", "start:1 8 12 11 stop"},
        {200, "Upload failed\n", "start:1 8 9 11 stop"},
        {200, "", "start:1 8 11 stop"},
        // A refused status still shows its answer, then ends as a failed request.
        {500, "Upload failed", "start:1 8 12 stop 13"},
        {404, "Not here", "start:1 8 9 stop 13"},
    };
    for (const auto& row : table) {
        server.setAnswer(row.status, row.answer);
        recorder.calls.clear();
        auto uploader = makeUploader();
        uploader->start();
        ASSERT_TRUE(waitUntil([&] { return recorder.ended(); })) << row.answer.constData();
        recorder.calls.removeAll(QStringLiteral("10"));
        EXPECT_EQ(recorder.calls.join(' '), QLatin1String(row.expected))
            << row.status << " " << row.answer.constData();
    }
}

TEST_F(UploaderFlow, NobodyListeningGivesStopAndThirteenWithoutOpen) {
    auto uploader = makeUploader(QStringLiteral("http://127.0.0.1:1"));
    uploader->start();
    ASSERT_TRUE(waitUntil([&] { return recorder.ended(); }));
    EXPECT_EQ(recorder.summary(), QStringLiteral("start:1 stop 13"));
}

TEST_F(UploaderFlow, StartRefusalsAndSetUpFailures) {
    auto uploader = makeUploader();
    OvPiktoExporterUploader bare(ServiceUrls(server.origin()), &recorder);
    bare.start(); // neither options nor credentials
    OvPiktoExporterUploader noCredentials(ServiceUrls(server.origin()), &recorder);
    noCredentials.setUploadOptions(*uploader->uploadOptions());
    noCredentials.start();
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:0 start:0"));

    recorder.calls.clear();
    makeUploader(QStringLiteral("http://[bad"))->start();
    QFile::remove(photoPath);
    uploader->start();
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:1 1 start:1 2"));
    EXPECT_FALSE(uploader->isRequestInProgress());
    EXPECT_EQ(server.connectionsAccepted(), 0);
}

TEST_F(UploaderFlow, SecondStartWhileRunningIsRefusedAndLeavesTheRequestAlone) {
    server.holdAnswers();
    auto uploader = makeUploader();
    uploader->start();
    uploader->start();
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:1 start:0"));
    ASSERT_TRUE(waitUntil([&] { return server.bodies().size() == 1; }));
    server.releaseAnswers();
    ASSERT_TRUE(waitUntil([&] { return recorder.ended(); }));
    recorder.calls.removeAll(QStringLiteral("10"));
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:1 start:0 8 9 11 stop"));
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST_F(UploaderFlow, CancelNotifiesCancelThenStopAndIsQuietWhenIdle) {
    auto uploader = makeUploader();
    uploader->cancel();
    EXPECT_EQ(recorder.calls, QStringList({"cancel"}));

    server.holdAnswers();
    recorder.calls.clear();
    uploader->start();
    ASSERT_TRUE(waitUntil([&] { return recorder.calls.contains("8"); }));
    uploader->cancel();
    uploader->closeStream(); // a second close does nothing
    recorder.calls.removeAll(QStringLiteral("10"));
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:1 8 cancel stop"));
    EXPECT_EQ(uploader->bytesSent(), -1);
    ASSERT_TRUE(waitUntil([&] { return server.connectionsClosedUnanswered() == 1; }));
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:1 8 cancel stop"));
}

TEST_F(UploaderFlow, DestroyingMidRequestCallsNobody) {
    server.holdAnswers();
    auto uploader = makeUploader();
    uploader->start();
    ASSERT_TRUE(waitUntil([&] { return recorder.calls.contains("10"); }));
    uploader.reset();
    const QStringList before = recorder.calls;
    ASSERT_TRUE(waitUntil([&] { return server.connectionsClosedUnanswered() == 1; }));
    EXPECT_EQ(recorder.calls, before);

    // An owner may also drop the uploader from inside an event, here the first answer piece.
    server.setAnswer(200, "OK 2");
    server.releaseAnswers();
    recorder.calls.clear();
    uploader = makeUploader();
    recorder.onEvent = [&](int event) {
        if (event == 9)
            uploader.reset();
    };
    uploader->start();
    ASSERT_TRUE(waitUntil([&] { return !uploader; }));
    ASSERT_TRUE(waitUntil(
        [&] { return server.bodies().size() == 1 && server.connectionsAccepted() == 2; }));
    recorder.calls.removeAll(QStringLiteral("10"));
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:1 8 9"));
}

TEST_F(UploaderFlow, AnOwnerMayDropTheUploaderInsideATickOrTheFinishedEvent) {
    for (const int dropAt : {10, 11}) {
        recorder.calls.clear();
        auto uploader = makeUploader();
        recorder.onEvent = [&](int event) {
            if (event == dropAt)
                uploader.reset();
        };
        uploader->start();
        ASSERT_TRUE(waitUntil([&] { return !uploader; })) << dropAt;
        // The reply, timer and manager go with the next passes of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(recorder.calls.last(), QString::number(dropAt));
        EXPECT_FALSE(recorder.calls.contains(QStringLiteral("stop"))) << dropAt;
    }
    recorder.onEvent = nullptr;
}

TEST_F(UploaderFlow, DelegateStdExceptionsAreLoggedOthersPass) {
    QStringList logged;
    const Log::Sink previous = Log::setSink([&](const QString& line) { logged << line; });
    auto uploader = makeUploader();
    recorder.onEvent = [](int event) {
        if (event == 8)
            throw std::runtime_error("tick refused");
    };
    uploader->start();
    const bool ended = waitUntil([&] { return recorder.ended(); });
    Log::setSink(previous);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(logged.contains(
        QStringLiteral("EXCEPTION in uploadEvent: std::runtime_error, tick refused")));
    recorder.calls.removeAll(QStringLiteral("10"));
    EXPECT_EQ(recorder.calls.join(' '), QStringLiteral("start:1 8 9 11 stop"));

    struct Thrower : OvPiktoExporterUploaderDelegate {
        void uploadShouldStart(QZBoolean) override { throw 42; }
    } thrower;
    uploader->setDelegate(&thrower);
    EXPECT_THROW(uploader->start(), int);
}

// An answer without end, or one that drips a byte at a time, ends the request like a
// stream error at the answer's size cap or deadline, holding little of it.
TEST_F(UploaderFlow, AnEndlessOrDrippingAnswerEndsAsAStreamError) {
    struct Case {
        const char* what;
        QByteArray head;
        QByteArray chunk;
        qint64 count;
        int pauseMs;
        int deadlineMs;
    };
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n";
    for (const Case& c : {Case{"endless", ok, QByteArray(64 * 1024, 'x'), 1 << 20, 0, 20000},
                          Case{"dripping", ok, "x", 1000000, 100, 1000}}) {
        SCOPED_TRACE(c.what);
        // A small photo: the responder does not read the body.
        QFile photo(photoPath);
        ASSERT_TRUE(photo.open(QIODevice::WriteOnly | QIODevice::Truncate));
        photo.write(QByteArray(1000, 'p'));
        photo.close();
        recorder.calls.clear();
        StreamingResponder responder(c.head, c.chunk, c.count, c.pauseMs);
        auto uploader = makeUploader(QString::fromLatin1(responder.origin()));
        uploader->setAnswerLimits(c.deadlineMs, 1024 * 1024);
        QElapsedTimer clock;
        clock.start();
        uploader->start();
        ASSERT_TRUE(waitUntil([&] { return recorder.ended(); }, 30000));
        EXPECT_LT(clock.elapsed(), c.deadlineMs + 3000);
        EXPECT_TRUE(recorder.summary().endsWith(QStringLiteral("stop 13")))
            << recorder.summary().toStdString();
        EXPECT_FALSE(uploader->isRequestInProgress());
        EXPECT_LT(responder.bytesWritten(), 64 * 1024 * 1024); // of the 64 GiB offered
    }
}

} // namespace
