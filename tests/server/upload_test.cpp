// Photo reception at /post/ and the album page that lists the stored photos.

#include "serviceprocess.h"
#include "sitepages.h"
#include "testhttp.h"

#include <QDomDocument>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QByteArray kBoundary = "---------------------------8f999edae883c6039b244c0d341f45f8";

// A form as the uploader writes it: field parts, then the image part, then the delimiter.
QByteArray multipartBody(const QList<QPair<QByteArray, QByteArray>>& fields,
                         const QByteArray& fileName, const QByteArray& bytes,
                         bool withImage = true) {
    QByteArray body;
    for (const auto& [name, value] : fields)
        body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\n\r\n" + value + "\r\n";
    if (withImage)
        body += "--" + kBoundary +
                "\r\nContent-Disposition: form-data; name=\"image\"; filename=\"" + fileName +
                "\"\r\nContent-Type: image/jpeg\r\n\r\n" + bytes;
    body += "\r\n--" + kBoundary + "--";
    return body;
}

QByteArray randomBytes(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes;
}

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<ServiceProcess>(ServiceProcess::Options{
            {QStringLiteral("alice:secret"), QStringLiteral("bob:pw")},
            {QStringLiteral("alice:tok-alice"), QStringLiteral("bob:tok-bob")},
            {}});
        // The stored photos are read back through the album page as an anonymous visitor.
        service->setExtraArguments({QStringLiteral("--legacy-open-pages")});
        ASSERT_TRUE(service->start()) << service->lastError().toStdString();
    }

    HttpResponse post(const QByteArray& body, double timeoutSeconds = 10.0) const {
        return TestHttp::send("POST", service->origin() + QStringLiteral("/post/"), {}, body,
                              "multipart/form-data; boundary=" + kBoundary, timeoutSeconds);
    }

    HttpResponse upload(const QByteArray& album, const QByteArray& bytes,
                        const QByteArray& token = "tok-alice",
                        QList<QPair<QByteArray, QByteArray>> extra = {}) const {
        QList<QPair<QByteArray, QByteArray>> fields{{"token", token},
                                                    {"album", album},
                                                    {"ovru", "0"},
                                                    {"pub_channel", "iPhoto"},
                                                    {"app_platform", "iPhoto export plugin"},
                                                    {"app_version", "1.2.345"}};
        fields += extra;
        return post(multipartBody(fields, "IMG_0001.JPG", bytes));
    }

    // Alice deletes one of her albums; returns the answer's status.
    int deleteAlbum(const QString& album) {
        return TestHttp::send("DELETE",
                              service->origin() +
                                  QStringLiteral("/api/users/alice/album/%1/").arg(album),
                              TestHttp::zimpToken("tok-alice"))
            .status;
    }

    QString createAlbum(const QByteArray& token = "tok-alice", const char* login = "alice") {
        const HttpResponse created = TestHttp::send(
            "POST", service->origin() + QStringLiteral("/api//users/%1/albums/").arg(login),
            TestHttp::zimpToken(token),
            "<entry xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\">"
            "<title>Trip</title></entry>");
        const QString id = QString::fromUtf8(created.data);
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("album:(\\d+)")).match(id);
        return match.captured(1);
    }

    // The f:image-count of each album of alice, by title.
    QMap<QString, QString> imageCounts() const {
        const HttpResponse list =
            TestHttp::send("GET", service->origin() + QStringLiteral("/api//users/alice/albums/"),
                           TestHttp::zimpToken("tok-alice"));
        QMap<QString, QString> counts;
        QDomDocument doc;
        if (!doc.setContent(list.data, false))
            return counts;
        for (QDomElement e = doc.documentElement().firstChildElement(QStringLiteral("entry"));
             !e.isNull(); e = e.nextSiblingElement(QStringLiteral("entry")))
            counts[e.firstChildElement(QStringLiteral("title")).text()] =
                e.firstChildElement(QStringLiteral("f:image-count"))
                    .attribute(QStringLiteral("value"));
        return counts;
    }

    std::unique_ptr<ServiceProcess> service;
};

QString photoIdOf(const HttpResponse& response) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^OK (\\d+)$")).match(QString::fromUtf8(response.data));
    return match.captured(1);
}

TEST_F(UploadTest, StoresTheBytesExactly) {
    const QString album = createAlbum();
    // Bytes that look like the multipart delimiter inside the file must survive too.
    QByteArray bytes = randomBytes(300 * 1024);
    bytes.insert(1000, "\r\n--" + kBoundary.left(40) + "\r\n");
    const HttpResponse response = upload(album.toUtf8(), bytes);
    ASSERT_EQ(response.status, 200);
    const QString id = photoIdOf(response);
    ASSERT_FALSE(id.isEmpty()) << response.data.toStdString();

    QFile stored(service->dataDir() + QStringLiteral("/photos/%1.jpg").arg(id));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), bytes);
    const HttpResponse served =
        TestHttp::get(service->origin() + QStringLiteral("/photos/%1.jpg").arg(id));
    EXPECT_EQ(served.status, 200);
    EXPECT_EQ(served.data, bytes);
    EXPECT_EQ(imageCounts().value(QStringLiteral("Trip")), QStringLiteral("1"));
}

TEST_F(UploadTest, RefusedUploadsAnswerUploadFailedAndStoreNothing) {
    const QString album = createAlbum();
    const QString bobsAlbum = createAlbum("tok-bob", "bob");
    const QByteArray bytes = randomBytes(1000);
    const QList<QPair<QByteArray, QByteArray>> good{{"token", "tok-alice"},
                                                    {"album", album.toUtf8()}};
    struct Case {
        const char* name;
        QByteArray body;
    };
    const Case cases[] = {
        {"unknown token",
         multipartBody({{"token", "nope"}, {"album", album.toUtf8()}}, "a.jpg", bytes)},
        {"missing token", multipartBody({{"album", album.toUtf8()}}, "a.jpg", bytes)},
        {"unknown album",
         multipartBody({{"token", "tok-alice"}, {"album", "999"}}, "a.jpg", bytes)},
        {"another user's album",
         multipartBody({{"token", "tok-alice"}, {"album", bobsAlbum.toUtf8()}}, "a.jpg", bytes)},
        {"missing album", multipartBody({{"token", "tok-alice"}}, "a.jpg", bytes)},
        {"empty image", multipartBody(good, "a.jpg", {})},
        {"missing image", multipartBody(good, "a.jpg", bytes, false)},
        {"unknown access",
         multipartBody(good + QList<QPair<QByteArray, QByteArray>>{{"access_type", "everyone"}},
                       "a.jpg", bytes)},
    };
    for (const Case& c : cases) {
        const HttpResponse response = post(c.body);
        EXPECT_EQ(response.status, 200) << c.name;
        EXPECT_EQ(response.data, QByteArray("Upload failed")) << c.name;
    }
    const HttpResponse notMultipart =
        TestHttp::send("POST", service->origin() + QStringLiteral("/post/"), {},
                       "token=tok-alice&album=1", "application/x-www-form-urlencoded");
    EXPECT_EQ(notMultipart.data, QByteArray("Upload failed"));

    EXPECT_EQ(imageCounts(),
              (QMap<QString, QString>{{QStringLiteral("Trip"), QStringLiteral("0")}}));
    EXPECT_TRUE(QDir(service->dataDir() + QStringLiteral("/photos")).isEmpty());
}

TEST_F(UploadTest, AlbumMinusOneGoesToOneUnsortedAlbum) {
    ASSERT_EQ(photoIdOf(upload("-1", randomBytes(100))).isEmpty(), false);
    ASSERT_EQ(photoIdOf(upload("-1", randomBytes(100))).isEmpty(), false);
    EXPECT_EQ(imageCounts(),
              (QMap<QString, QString>{{QStringLiteral("Неразобранное"), QStringLiteral("2")}}));
}

TEST_F(UploadTest, AlbumPageListsThePhotosWithAccessAndFlags) {
    const QString album = createAlbum();
    const QString first = photoIdOf(upload(album.toUtf8(), randomBytes(100), "tok-alice",
                                           {{"access_type", "friends"}, {"xxx", "1"}}));
    const QString second = photoIdOf(
        upload(album.toUtf8(), randomBytes(100), "tok-alice",
               {{"access_type", "private"}, {"disable_comments", "1"}, {"hide_orig", "1"}}));
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    const HttpResponse page =
        TestHttp::get(service->origin() + QStringLiteral("/users/alice/album/%1/").arg(album));
    ASSERT_EQ(page.status, 200);
    // Newest first.
    const QList<SitePages::Photo> photos = SitePages::albumPhotos(QString::fromUtf8(page.data));
    ASSERT_EQ(photos.size(), 2) << page.data.toStdString();
    EXPECT_EQ(photos[0].id, second);
    EXPECT_EQ(photos[0].access, QStringLiteral("private"));
    EXPECT_EQ(photos[0].flags, QStringList({"disable_comments", "hide_orig"}));
    EXPECT_EQ(photos[1].id, first);
    EXPECT_EQ(photos[1].name, QStringLiteral("IMG_0001.JPG"));
    EXPECT_EQ(photos[1].access, QStringLiteral("friends"));
    EXPECT_EQ(photos[1].flags, QStringList({"xxx"}));
}

TEST_F(UploadTest, DeletingTheAlbumRemovesItsPhotos) {
    const QString album = createAlbum();
    const QString id = photoIdOf(upload(album.toUtf8(), randomBytes(100)));
    ASSERT_FALSE(id.isEmpty());
    ASSERT_EQ(deleteAlbum(album), 204);
    EXPECT_EQ(TestHttp::get(service->origin() + QStringLiteral("/photos/%1.jpg").arg(id)).status,
              404);
    EXPECT_FALSE(QFile::exists(service->dataDir() + QStringLiteral("/photos/%1.jpg").arg(id)));
}

TEST_F(UploadTest, UploadToADeletedAlbumIsRefusedAndStoresNothing) {
    const QString album = createAlbum();
    ASSERT_EQ(deleteAlbum(album), 204);
    const HttpResponse response = upload(album.toUtf8(), randomBytes(1000));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.data, QByteArray("Upload failed"));
    EXPECT_TRUE(QDir(service->dataDir() + QStringLiteral("/photos")).isEmpty());
}

TEST_F(UploadTest, ABodyOverTheLimitIs413) {
    const QString album = createAlbum();
    const HttpResponse response = upload(album.toUtf8(), QByteArray(64 * 1024 * 1024 + 1, 'x'));
    ASSERT_TRUE(response.received) << response.error.toStdString();
    EXPECT_EQ(response.status, 413);
    EXPECT_EQ(imageCounts().value(QStringLiteral("Trip")), QStringLiteral("0"));
}

TEST_F(UploadTest, CutMidBodyIsATransportFailureAndStoresNothing) {
    const QString album = createAlbum();
    // Qt resends a request once when its connection closes while it is still being
    // written, so the cut is armed for both attempts.
    ASSERT_TRUE(service->fault(QStringLiteral("/post/"), QStringLiteral("cut"), 2, 0, {},
                               {{QStringLiteral("after"), 64 * 1024}}));
    const HttpResponse response = upload(album.toUtf8(), randomBytes(4 * 1024 * 1024));
    EXPECT_FALSE(response.received);
    EXPECT_EQ(imageCounts().value(QStringLiteral("Trip")), QStringLiteral("0"));
    // The next upload goes through.
    EXPECT_FALSE(photoIdOf(upload(album.toUtf8(), randomBytes(1000))).isEmpty());
}

TEST_F(UploadTest, PhotoPathsThatAreNotStoredPhotosAre404) {
    for (const char* path : {"/photos/1.jpg", "/photos/abc.jpg", "/photos/1.png", "/photos/.jpg",
                             "/photos/%2e%2e%2fpikto.sqlite"})
        EXPECT_EQ(TestHttp::get(service->origin() + QString::fromLatin1(path)).status, 404) << path;
}

} // namespace
