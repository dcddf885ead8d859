// The client against answers a broken or hostile service may send: endless, deeply
// nested, dripping. Each must end as "no answer" (code 2), soon, in little memory.
#include "loopbackresponder.h"
#include "ovpiktoexportercommlayer.h"
#include "serviceresult.h"
#include "streamingresponder.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

namespace {

const QByteArray openHead = "HTTP/1.1 200 OK\r\nContent-Type: application/atom+xml\r\n"
                            "Connection: close\r\n\r\n";

// A line of /proc/self/status in KiB, e.g. "VmHWM"; -1 when it cannot be read.
qint64 statusKiB(const QByteArray& field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Resets the peak resident size to the current one, so VmHWM then tells the peak of
// what follows.
bool resetPeakMemory() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

class BoundedAnswers : public ::testing::Test {
protected:
    std::optional<QList<OvPiktoAlbum>> listFrom(const QByteArray& origin,
                                                OvPiktoExporterCommLayer::Limits limits = {}) {
        OvPiktoExporterCommLayer client(ServiceUrls(QString::fromLatin1(origin)), limits);
        clock.start();
        auto albums = client.getUserAlbumsWithCredentials(anna, &error);
        elapsedMs = clock.elapsed();
        last = client.lastRequest();
        return albums;
    }

    OVPiktoCredentials anna = [] {
        OVPiktoCredentials c(QStringLiteral("anna"), QStringLiteral("pw"));
        c.setToken(QStringLiteral("tok"));
        return c;
    }();
    QElapsedTimer clock;
    qint64 elapsedMs = 0;
    int error = -1;
    RequestOutcome last;
};

} // namespace

TEST_F(BoundedAnswers, A200MiBListEndsAsNoAnswerWithinSecondsInLittleMemory) {
    const QByteArray chunk = QByteArray("<entry><title>x</title></entry>").repeated(2048);
    const qint64 count = (200LL << 20) / chunk.size();
    StreamingResponder responder(openHead + "<feed>", chunk, count);
    ASSERT_TRUE(resetPeakMemory());
    const qint64 before = statusKiB("VmRSS");

    EXPECT_FALSE(listFrom(responder.origin()).has_value());

    EXPECT_EQ(error, ServiceResult::NoConnection);
    EXPECT_LT(elapsedMs, 5000);
    EXPECT_EQ(last.kind, RequestOutcome::Kind::TooLarge);
    EXPECT_EQ(last.text(), "the answer of the service is larger than 8 MiB");
    const qint64 grownKiB = statusKiB("VmHWM") - before;
    EXPECT_LT(grownKiB, 100 * 1024) << "peak growth " << grownKiB << " KiB";
    RecordProperty("peak_growth_kib", int(grownKiB));
    RecordProperty("elapsed_ms", int(elapsedMs));
}

TEST_F(BoundedAnswers, AnAnnouncedLengthOverTheCapIsRefusedBeforeTheBody) {
    StreamingResponder responder("HTTP/1.1 200 OK\r\nContent-Length: 209715200\r\n\r\n<feed>",
                                 QByteArray(64 * 1024, ' '), 3200);
    EXPECT_FALSE(listFrom(responder.origin()).has_value());
    EXPECT_EQ(error, ServiceResult::NoConnection);
    EXPECT_LT(responder.bytesWritten(), 64LL << 20);
    EXPECT_EQ(last.kind, RequestOutcome::Kind::TooLarge);
}

TEST_F(BoundedAnswers, AListNested100000LevelsDeepEndsAsNoAnswerInUnderASecond) {
    const QByteArray body = "<feed>" + QByteArray("<entry>").repeated(100000) +
                            QByteArray("</entry>").repeated(100000) + "</feed>";
    LoopbackResponder responder(
        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body);
    EXPECT_FALSE(listFrom(responder.origin().toLatin1()).has_value());
    EXPECT_EQ(error, ServiceResult::NoConnection);
    EXPECT_LT(elapsedMs, 1000);
    EXPECT_EQ(last.kind, RequestOutcome::Kind::TooDeep);
}

TEST_F(BoundedAnswers, ADrippingAnswerEndsAtTheDeadline) {
    // One byte every 100 ms keeps the 3 s silence time-out from ever firing.
    StreamingResponder responder("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n<feed>", " ",
                                 100000, 100);
    OvPiktoExporterCommLayer::Limits limits;
    limits.deadlineSeconds = 1.0;
    EXPECT_FALSE(listFrom(responder.origin(), limits).has_value());
    EXPECT_EQ(error, ServiceResult::NoConnection);
    EXPECT_GE(elapsedMs, 1000);
    EXPECT_LT(elapsedMs, 2500);
    EXPECT_EQ(last.kind, RequestOutcome::Kind::DeadlinePassed);
    EXPECT_EQ(last.text(), "the service did not finish its answer within 1 s");
}

TEST_F(BoundedAnswers, AFeedOverOneMiBIsNoFeed) {
    StreamingResponder responder(openHead + "<rss><channel>", QByteArray(64 * 1024, ' '), 32, 0,
                                 "</channel></rss>");
    OvPiktoExporterCommLayer client(ServiceUrls(QString::fromLatin1(responder.origin())));
    EXPECT_FALSE(client.fetchVersionsData().has_value());
    EXPECT_EQ(client.lastRequest().kind, RequestOutcome::Kind::TooLarge);
}

TEST_F(BoundedAnswers, SilenceIsNamedAsATimeOut) {
    LoopbackResponder responder{QByteArray()}; // holds the connection, never answers
    OvPiktoExporterCommLayer::Limits limits;
    limits.silenceSeconds = 0.3;
    EXPECT_FALSE(listFrom(responder.origin().toLatin1(), limits).has_value());
    EXPECT_EQ(error, ServiceResult::NoConnection);
    EXPECT_EQ(last.kind, RequestOutcome::Kind::TimedOut);
    EXPECT_EQ(last.text(),
              QStringLiteral("cannot reach %1: nothing arrived for 0.3 s").arg(responder.origin()));
}

TEST_F(BoundedAnswers, AnswersWithinTheirCapsAreRead) {
    // 2 MiB of album list is allowed; the same size of feed is not (previous test).
    const QByteArray chunk = QByteArray("<entry><title>x</title></entry>").repeated(2048);
    StreamingResponder responder(openHead + "<feed>", chunk, (2 << 20) / chunk.size(), 0,
                                 "</feed>");
    const auto albums = listFrom(responder.origin());
    ASSERT_TRUE(albums.has_value());
    EXPECT_EQ(error, ServiceResult::Success);
    EXPECT_EQ(albums->size(), 2048 * ((2 << 20) / chunk.size()));
}
