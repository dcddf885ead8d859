// The versions feed and release archives served from the --releases folder.

#include "serviceprocess.h"
#include "testhttp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <httplib.h>

#include <gtest/gtest.h>

namespace {

const QByteArray kFeed = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss><channel><item>"
                         "<title>1.2.400</title><enclosure url=\"http://127.0.0.1/photo/mac/"
                         "iphoto-plugin/OvPikto_1.2.400.zip\"/></item></channel></rss>\n";

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class ReleasesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        releases = root.path() + QStringLiteral("/releases");
        ASSERT_TRUE(QDir().mkpath(releases));
        ASSERT_TRUE(writeFile(releases + QStringLiteral("/versions.xml"), kFeed));
        archive = QByteArray("PK\x03\x04", 4) + QByteArray(5000, '\0') + QByteArray(100, '\xff');
        ASSERT_TRUE(writeFile(releases + QStringLiteral("/OvPikto_1.2.400.zip"), archive));
        ASSERT_TRUE(writeFile(root.path() + QStringLiteral("/secret.txt"), "not for the web"));
        service = std::make_unique<ServiceProcess>(ServiceProcess::Options{{}, {}, releases});
        ASSERT_TRUE(service->start()) << service->lastError().toStdString();
    }

    QString url(const char* path) const { return service->origin() + QString::fromLatin1(path); }

    QTemporaryDir root;
    QString releases;
    QByteArray archive;
    std::unique_ptr<ServiceProcess> service;
};

TEST_F(ReleasesTest, ServesTheFeedAndTheArchivesAsStored) {
    const HttpResponse feed = TestHttp::get(url("/photo/mac/iphoto-plugin/versions.xml"));
    ASSERT_EQ(feed.status, 200);
    EXPECT_EQ(feed.data, kFeed);
    const HttpResponse zip = TestHttp::get(url("/photo/mac/iphoto-plugin/OvPikto_1.2.400.zip"));
    ASSERT_EQ(zip.status, 200);
    EXPECT_EQ(zip.data, archive);
}

TEST_F(ReleasesTest, MissingFilesAre404) {
    EXPECT_EQ(TestHttp::get(url("/photo/mac/iphoto-plugin/OvPikto_9.9.9.zip")).status, 404);
    EXPECT_EQ(TestHttp::get(url("/photo/mac/iphoto-plugin/")).status, 404);
    ASSERT_TRUE(QFile::remove(releases + QStringLiteral("/versions.xml")));
    EXPECT_EQ(TestHttp::get(url("/photo/mac/iphoto-plugin/versions.xml")).status, 404);
}

TEST_F(ReleasesTest, NothingOutsideTheFolderIsServed) {
    // A raw client, so the paths reach the service exactly as written here.
    httplib::Client client("127.0.0.1", service->port());
    for (const char* path :
         {"/photo/mac/iphoto-plugin/../secret.txt", "/photo/mac/iphoto-plugin/..%2Fsecret.txt",
          "/photo/mac/iphoto-plugin/%2E%2E%2Fsecret.txt", "/photo/mac/iphoto-plugin/%2e%2e",
          "/photo/mac/iphoto-plugin/.", "/photo/mac/secret.txt"}) {
        const httplib::Result result = client.Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 404) << path;
        EXPECT_EQ(result->body.find("not for the web"), std::string::npos) << path;
    }
}

TEST(ReleasesWithoutFolderTest, FeedIs404) {
    ServiceProcess service;
    ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    EXPECT_EQ(
        TestHttp::get(service.origin() + QStringLiteral("/photo/mac/iphoto-plugin/versions.xml"))
            .status,
        404);
}

} // namespace
