// Publishing a signed release: the feed entry the updater then trusts.
#include "releasefeed.h"
#include "archivecheck.h"
#include "feedenclosure.h"
#include "ovpiktoexportercommlayer.h"
#include "qstringprinter.h"
#include "releasesignature.h"
#include "serviceurls.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ReleaseFeedTest, APublishedReleaseIsOfferedAndItsArchiveVerifies) {
    QTemporaryDir dir;
    const QString feed = dir.filePath("versions.xml");
    const QString archive = dir.filePath("OvPikto_1.3.0.zip");
    ASSERT_TRUE(writeFile(archive, QByteArray(100000, 'z')));
    const auto keys = ReleaseSignature::generate();
    const QString url =
        QStringLiteral("http://127.0.0.1:8480/photo/mac/iphoto-plugin/OvPikto_1.3.0.zip");

    ASSERT_EQ(ReleaseFeed::publish(
                  feed, {"1.2.9", "http://127.0.0.1:8480/OvPikto_1.2.9.zip", archive, {}, {}},
                  keys.secretKey),
              QString());
    ASSERT_EQ(ReleaseFeed::publish(feed, {"1.3.0", url, archive, "Оврана.Пикто 1.3.0", "новое"},
                                   keys.secretKey),
              QString());
    // Publishing the same address again replaces its entry.
    ASSERT_EQ(ReleaseFeed::publish(feed, {"1.3.0", url, archive, "Оврана.Пикто 1.3.0", "новое"},
                                   keys.secretKey),
              QString());
    const QByteArray bytes = readFile(feed);
    EXPECT_EQ(bytes.count("<item>"), 2) << bytes.constData();

    const auto offered = OvPiktoExporterCommLayer(ServiceUrls())
                             .fetchUpdatedVersionInfo(QStringLiteral("1.2.0"), bytes);
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->version(), QStringLiteral("1.3.0"));
    EXPECT_EQ(offered->description(), QStringLiteral("новое"));
    const auto enclosure = FeedEnclosure::find(bytes, offered->url());
    ASSERT_TRUE(enclosure);
    EXPECT_EQ(enclosure->length, QStringLiteral("100000"));
    EXPECT_EQ(enclosure->sha256.size(), 64);
    const QString publicKey = QString::fromLatin1(keys.publicKey.toBase64());
    EXPECT_EQ(ArchiveCheck::verify(archive, *enclosure, publicKey), QString());

    const auto stranger = ReleaseSignature::generate();
    EXPECT_FALSE(ArchiveCheck::verify(archive, *enclosure,
                                      QString::fromLatin1(stranger.publicKey.toBase64()))
                     .isEmpty());
    EXPECT_FALSE(
        ArchiveCheck::verify(archive, *enclosure, QStringLiteral("not base64!")).isEmpty());
    ASSERT_TRUE(writeFile(archive, QByteArray(100000, 'y'))); // same length, other bytes
    EXPECT_FALSE(ArchiveCheck::verify(archive, *enclosure, publicKey).isEmpty());
    EXPECT_FALSE(
        ArchiveCheck::verify(archive, *enclosure, QString()).isEmpty()); // the checksum alone
}

TEST(ReleaseFeedTest, AnInvalidSecretKeyWritesNothing) {
    QTemporaryDir dir;
    const QString feed = dir.filePath("versions.xml");
    ASSERT_TRUE(writeFile(dir.filePath("a.zip"), "zip"));
    EXPECT_FALSE(
        ReleaseFeed::publish(feed, {"1.3.0", "http://h/a_1.3.0.zip", dir.filePath("a.zip"), {}, {}},
                             QByteArray(10, 'k'))
            .isEmpty());
    EXPECT_FALSE(QFile::exists(feed));
}

} // namespace
