// Build comparison and evaluation of the versions feed, from feed documents on disk.
#include "ovpiktoexportercommlayer.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray feedDocument(const char* name) {
    QFile file(QStringLiteral(FEED_DATA_DIR "/%1").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "missing test document " << name;
    return file.readAll();
}

std::optional<OvPiktoUpdateVersionInfo> evaluate(const char* current, const char* document) {
    OvPiktoExporterCommLayer client{ServiceUrls()};
    return client.fetchUpdatedVersionInfo(QString::fromLatin1(current), feedDocument(document));
}

struct Comparison {
    const char* a;
    const char* b;
    int expected;
};

void PrintTo(const Comparison& c, std::ostream* out) {
    *out << '"' << c.a << "\" vs \"" << c.b << '"';
}

class CompareBuildVersion : public ::testing::TestWithParam<Comparison> {};

TEST_P(CompareBuildVersion, GivesKnownAnswer) {
    const Comparison& c = GetParam();
    EXPECT_EQ(OvPiktoExporterCommLayer::compareBuildVersionA(QString::fromLatin1(c.a),
                                                             QString::fromLatin1(c.b)),
              c.expected)
        << c.a << " vs " << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    KnownAnswers, CompareBuildVersion,
    ::testing::Values(Comparison{"1.2.10", "1.2.9", 1}, // numbers, not text
                      Comparison{"1.2.9", "1.2.10", -1}, Comparison{"1.2", "1.2.0", -1},
                      Comparison{"1.2.0", "1.2", 1}, Comparison{"1.02", "1.2", 0},
                      Comparison{"1.x", "1.0", 0}, // a non-numeric component counts as 0
                      Comparison{"1.2.345", "1.2.345", 0}, Comparison{"2.0", "10.0", -1},
                      Comparison{"1. 3", "1.3", 0}, Comparison{"1.3beta", "1.3", 0},
                      Comparison{"1.-1", "1.0", -1}, Comparison{"", "0", 0},
                      Comparison{"1..2", "1.0.2", 0}));

TEST(BuildUrl, VersionIsBetweenLastUnderscoreAndLastDot) {
    EXPECT_EQ(OvPiktoExporterCommLayer::getVersionFromBuildUrl(
                  "http://host/photo/mac/iphoto-plugin/OvPikto_iPhoto_1.2.345.zip"),
              "1.2.345");
    EXPECT_EQ(OvPiktoExporterCommLayer::getVersionFromBuildUrl("http://h/a_b/Pikto_7.zip"), "7");
    EXPECT_EQ(OvPiktoExporterCommLayer::getVersionFromBuildUrl("http://h/Pikto_.zip"), "");
}

TEST(BuildUrl, WithoutUnderscoreOrDotAfterItHasNoVersion) {
    EXPECT_TRUE(
        OvPiktoExporterCommLayer::getVersionFromBuildUrl("http://host/latest.zip").isNull());
    EXPECT_TRUE(OvPiktoExporterCommLayer::getVersionFromBuildUrl("http://host.x/Pikto_1").isNull());
    EXPECT_TRUE(OvPiktoExporterCommLayer::getVersionFromBuildUrl("").isNull());
}

TEST(VersionFeed, NewestOfThreeWinsWithItsOwnFields) {
    const auto info = evaluate("1.0.5", "three-releases.xml");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version(), "1.0.7");
    EXPECT_EQ(info->title(), "Release 1.0.7");
    EXPECT_EQ(info->description(), "Faster uploads");
    EXPECT_EQ(info->url(), "http://downloads.example/OvPikto_1.0.7.zip");
}

TEST(VersionFeed, NothingWhenInstalledIsNewest) {
    EXPECT_FALSE(evaluate("1.0.7", "three-releases.xml"));
    EXPECT_FALSE(evaluate("1.0.10", "three-releases.xml"));
}

TEST(VersionFeed, OnlyReleaseEqualToCurrentGivesNothing) {
    EXPECT_FALSE(evaluate("1.0.5", "only-current.xml"));
    // Counted equal although written differently.
    EXPECT_FALSE(evaluate("1.00.05", "only-current.xml"));
}

TEST(VersionFeed, FirstAmongEqualReleasesWins) {
    const auto info = evaluate("1.2", "equal-versions.xml");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title(), "First 1.3");
    EXPECT_EQ(info->version(), "1.3.0");
}

TEST(VersionFeed, RootWithTwoChildrenGivesNothing) {
    EXPECT_FALSE(evaluate("1.0", "two-root-children.xml"));
}

TEST(VersionFeed, RootChildNotNamedChannelGivesNothing) {
    EXPECT_FALSE(evaluate("1.0", "root-not-channel.xml"));
}

TEST(VersionFeed, LaterItemWithoutEnclosureVoidsNewerRelease) {
    EXPECT_FALSE(evaluate("1.0", "later-item-without-enclosure.xml"));
}

TEST(VersionFeed, MissingTitleStaysNullAndMissingDescriptionEmpty) {
    const auto info = evaluate("1.0.9", "no-title.xml");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version(), "1.1.0");
    EXPECT_TRUE(info->title().isNull());
    EXPECT_TRUE(info->description().isEmpty());
    EXPECT_FALSE(info->description().isNull());
}

TEST(VersionFeed, LaterFieldOfSameNameOverrides) {
    const auto info = evaluate("1.0", "repeated-fields.xml");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title(), "Final title");
    EXPECT_EQ(info->description(), "Final notes");
}

TEST(VersionFeed, UrlWithoutVersionIsNeverNewer) {
    const auto info = evaluate("1.0.5", "unversioned-url.xml");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version(), "1.0.6");
    EXPECT_FALSE(evaluate("1.0.6", "unversioned-url.xml"));
}

TEST(VersionFeed, UnknownCurrentVersionGivesNothing) {
    EXPECT_FALSE(evaluate("", "three-releases.xml"));
    OvPiktoExporterCommLayer client{ServiceUrls()};
    EXPECT_FALSE(client.fetchUpdatedVersionInfo(QString(), feedDocument("three-releases.xml")));
}

TEST(VersionFeed, BytesThatAreNotXmlGiveNothing) {
    OvPiktoExporterCommLayer client{ServiceUrls()};
    EXPECT_FALSE(client.fetchUpdatedVersionInfo("1.0", QByteArray("<rss><channel>")));
    EXPECT_FALSE(client.fetchUpdatedVersionInfo("1.0", QByteArray()));
}

} // namespace
