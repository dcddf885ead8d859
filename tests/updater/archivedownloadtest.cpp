// Downloads straight to a file, and what counts as a failed download.
#include "archivedownload.h"
#include "loopbackresponder.h"
#include "qstringprinter.h"

#include "eventloopwait.h"
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Recorder : public ArchiveDownloadDelegate {
public:
    explicit Recorder(QString folder) : m_folder(std::move(folder)) {}
    void downloadDidReceiveResponse(qint64 expected) override { expectedLength = expected; }
    QString downloadDecideDestination(const QString& suggested) override {
        suggestedName = suggested;
        return m_folder + '/' + suggested;
    }
    void downloadDidReceiveDataOfLength(qint64 length) override { received += length; }
    void downloadDidFinish() override { finished = true; }
    void downloadDidFailWithError(const QString& description) override { failure = description; }
    bool ended() const { return finished || !failure.isNull(); }

    qint64 expectedLength = 0;
    qint64 received = 0;
    QString suggestedName;
    bool finished = false;
    QString failure;

private:
    QString m_folder;
};

struct DownloadRun {
    QTemporaryDir dir;
    Recorder recorder{dir.path()};
};

void download(DownloadRun& run, const QString& url) {
    ArchiveDownload download(url, 5000, run.recorder);
    download.start();
    ASSERT_TRUE(runEventLoopUntil([&] { return run.recorder.ended(); }, 10000));
}

TEST(ArchiveDownloadTest, TheBodyLandsInTheFileUnderTheSuggestedName) {
    const QByteArray body(200000, 'a');
    LoopbackResponder server(
        "HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n"
        "Content-Disposition: attachment; filename=\"../../OvPikto_1.3.0.zip\"\r\n"
        "Connection: close\r\n\r\n" +
        body);
    DownloadRun run;
    download(run, server.origin() + "/photo/mac/iphoto-plugin/other.zip");
    ASSERT_TRUE(run.recorder.finished) << run.recorder.failure.toStdString();
    EXPECT_EQ(run.recorder.suggestedName, QStringLiteral("OvPikto_1.3.0.zip"));
    EXPECT_EQ(run.recorder.expectedLength, 200000);
    EXPECT_EQ(run.recorder.received, 200000);
    QFile file(run.dir.filePath("OvPikto_1.3.0.zip"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), body);
}

TEST(ArchiveDownloadTest, AnErrorStatusIsAFailure) {
    LoopbackResponder server(
        "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nNot found");
    DownloadRun run;
    download(run, server.origin() + "/OvPikto_1.3.0.zip");
    EXPECT_FALSE(run.recorder.finished);
    EXPECT_FALSE(run.recorder.failure.isEmpty());
    EXPECT_FALSE(QFile::exists(run.dir.filePath("OvPikto_1.3.0.zip")));
}

TEST(ArchiveDownloadTest, FewerBytesThanAnnouncedIsAFailure) {
    LoopbackResponder server(
        "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\nonly this");
    DownloadRun run;
    download(run, server.origin() + "/OvPikto_1.3.0.zip");
    EXPECT_FALSE(run.recorder.finished);
    EXPECT_FALSE(run.recorder.failure.isEmpty());
}

TEST(ArchiveDownloadTest, AnInvalidAddressFailsOnTheEventLoop) {
    DownloadRun run;
    download(run, "not a url");
    EXPECT_FALSE(run.recorder.failure.isEmpty());
}

TEST(ArchiveDownloadTest, SuggestedNamesNeverChooseAFolder) {
    EXPECT_EQ(ArchiveDownload::suggestedFilename({}, "http://h/p/OvPikto_1.3.0.zip"),
              "OvPikto_1.3.0.zip");
    EXPECT_EQ(
        ArchiveDownload::suggestedFilename("attachment; filename=a/b\\c.zip", "http://h/x.zip"),
        "c.zip");
    EXPECT_EQ(ArchiveDownload::suggestedFilename({}, "http://h/"), "update.zip");
    EXPECT_EQ(ArchiveDownload::suggestedFilename("attachment; filename=\"..\"", "http://h/"),
              "update.zip");
    EXPECT_EQ(ArchiveDownload::suggestedFilename({}, "http://h/.hidden"), "update.zip");
}

} // namespace
