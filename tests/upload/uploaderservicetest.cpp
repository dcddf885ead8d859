// The uploader against the stand-in service: what it stores, what it refuses, and a
// connection that breaks in the middle of the body.
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoexporteruploader.h"
#include "serviceprocess.h"
#include "sitepages.h"
#include "uploadrecorder.h"

#include "synchttp.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

HttpResponse fetch(const QString& url) {
    HttpRequest request;
    request.url = url;
    return SyncHttp::send(request);
}

class UploaderService : public ::testing::Test {
protected:
    void SetUp() override {
        // What was stored, friends-only photos included, is read back through the album
        // page as an anonymous visitor: the service shows every photo for that.
        service.setExtraArguments({QStringLiteral("--legacy-open-pages")});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        credentials.setToken(QStringLiteral("demo-token"));
        int error = -1;
        albumId = OvPiktoExporterCommLayer(service.urls())
                      .createNewUserAlbumWithTitle(QStringLiteral("Holidays"), QStringLiteral(""),
                                                   QStringLiteral(""), credentials, &error);
        ASSERT_FALSE(albumId.isEmpty()) << error;

        photoPath = dir.filePath(QStringLiteral("sea.jpg"));
        QFile file(photoPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        photo = QByteArray(3 * 1024 * 1024 + 17, Qt::Uninitialized);
        QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(photo.data()), photo.size() / 4);
        photo[0] = char(0xff);
        photo[1] = char(0xd8);
        file.write(photo);
    }

    std::unique_ptr<OvPiktoExporterUploader> makeUploader(const OVPiktoUploadOptions& options) {
        auto uploader = std::make_unique<OvPiktoExporterUploader>(service.urls(), &recorder);
        uploader->setUploadOptions(options);
        uploader->setCredentials(OVPiktoCredentials::initWithCredentials(credentials));
        recorder.uploader = uploader.get();
        return uploader;
    }

    OVPiktoUploadOptions photoOptions() const {
        OVPiktoUploadOptions options(photoPath);
        options.setFileName(QStringLiteral("sea.jpg"));
        options.setAlbumID(albumId);
        return options;
    }

    // Runs one upload to its end; the calls without progress ticks.
    QString upload(const OVPiktoUploadOptions& options) {
        auto uploader = makeUploader(options);
        uploader->start();
        EXPECT_TRUE(waitUntil([&] { return recorder.ended(); }));
        recorder.calls.removeAll(QStringLiteral("10"));
        return recorder.calls.join(' ');
    }

    ServiceProcess service{
        {{QStringLiteral("demo:password")}, {QStringLiteral("demo:demo-token")}, {}}};
    OVPiktoCredentials credentials{QStringLiteral("demo"), QString()};
    QString albumId;
    QTemporaryDir dir;
    QString photoPath;
    QByteArray photo;
    UploadRecorder recorder;
};

TEST_F(UploaderService, StoredPhotoIsTheSentFileByteForByte) {
    OVPiktoUploadOptions options = photoOptions();
    options.setAccess(OVPiktoUploadOptions::Friends);
    options.setIsAdultsOnly(true);
    EXPECT_EQ(upload(options), QStringLiteral("start:1 8 9 11 stop"));

    // The photo's bytes as the service serves them back.
    const HttpResponse page =
        fetch(QStringLiteral("%1/users/demo/album/%2/").arg(service.origin(), albumId));
    ASSERT_EQ(page.status, 200);
    const QString html = QString::fromUtf8(page.data);
    EXPECT_TRUE(html.contains(QStringLiteral("<span class=\"name\">sea.jpg</span>")));
    EXPECT_TRUE(html.contains(QStringLiteral("data-access=\"friends\"")));
    EXPECT_TRUE(html.contains(QStringLiteral("data-flag=\"xxx\"")));
    EXPECT_FALSE(html.contains(QStringLiteral("data-flag=\"hide_orig\"")));
    const QList<SitePages::Photo> photos = SitePages::albumPhotos(html);
    ASSERT_EQ(photos.size(), 1);
    const HttpResponse photoPage = fetch(service.origin() + photos[0].page);
    ASSERT_EQ(photoPage.status, 200);
    const QString original = SitePages::originalAddress(QString::fromUtf8(photoPage.data));
    ASSERT_FALSE(original.isEmpty());
    const HttpResponse bytes = fetch(service.origin() + original);
    ASSERT_EQ(bytes.status, 200);
    EXPECT_TRUE(bytes.data == photo) << "stored " << bytes.data.size() << " of " << photo.size();
}

TEST_F(UploaderService, RefusedUploadAnswersTheFailureText) {
    credentials.setToken(QStringLiteral("not-a-token"));
    EXPECT_EQ(upload(photoOptions()), QStringLiteral("start:1 8 12 11 stop"));
}

TEST_F(UploaderService, ConnectionCutMidBodyEndsWithThirteenAndStoresNothing) {
    // Qt sends the body once more when the first connection breaks, so both are cut.
    ASSERT_TRUE(service.fault(QStringLiteral("/post/"), QStringLiteral("cut"), 2, 0, {},
                              {{QStringLiteral("after"), 512 * 1024}}));
    EXPECT_EQ(upload(photoOptions()), QStringLiteral("start:1 8 stop 13"));
    const HttpResponse page =
        fetch(QStringLiteral("%1/users/demo/album/%2/").arg(service.origin(), albumId));
    EXPECT_FALSE(QString::fromUtf8(page.data).contains(QStringLiteral("sea.jpg")));
}

} // namespace
