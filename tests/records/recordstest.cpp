#include "ovpiktoalbum.h"
#include "ovpiktocredentials.h"
#include "ovpiktoupdateversioninfo.h"
#include "ovpiktouploadoptions.h"

#include <QStringList>

#include <algorithm>

#include <gtest/gtest.h>

namespace {
QStringList sortedNames(QList<OvPiktoAlbum> albums,
                        int (OvPiktoAlbum::*comparator)(const OvPiktoAlbum&) const) {
    std::stable_sort(
        albums.begin(), albums.end(),
        [&](const OvPiktoAlbum& a, const OvPiktoAlbum& b) { return (a.*comparator)(b) < 0; });
    QStringList names;
    for (const auto& album : albums)
        names << album.name();
    return names;
}

OvPiktoAlbum album(const QString& name, int count = 0, bool locked = false) {
    return OvPiktoAlbum(name, QString(), count, locked, QStringLiteral("1"));
}
} // namespace

TEST(Records, NewRecordsHoldTheirDefaults) {
    const OvPiktoAlbum fresh;
    EXPECT_EQ(fresh.albumId(), "-1");
    EXPECT_TRUE(fresh.name().isEmpty() && !fresh.name().isNull());
    EXPECT_TRUE(fresh.description().isEmpty() && !fresh.description().isNull());
    EXPECT_EQ(fresh.imagesCount(), 0);
    EXPECT_FALSE(fresh.isLocked());

    const OvPiktoAlbum nameless(QString(), QString(), 2, true, QStringLiteral("7"));
    EXPECT_TRUE(nameless.name().isNull()) << "a nil name stays nil";

    const OVPiktoUploadOptions options;
    EXPECT_EQ(options.access(), OVPiktoUploadOptions::Public);
    EXPECT_FALSE(options.isPublishingDisabled() || options.isCommentingDisabled() ||
                 options.isAdultsOnly());
    EXPECT_EQ(options.exportPluginVersion(), "0.9");
    EXPECT_EQ(options.filePath(), "12345.jpg");
    EXPECT_TRUE(options.fileName().isNull());
    EXPECT_TRUE(options.albumID().isNull());

    const OvPiktoUpdateVersionInfo info;
    EXPECT_TRUE(info.version().isEmpty() && !info.version().isNull());
    EXPECT_TRUE(info.description().isEmpty() && !info.description().isNull());
    EXPECT_TRUE(info.url().isEmpty() && !info.url().isNull());
    EXPECT_TRUE(info.title().isNull());

    const OVPiktoCredentials credentials(QStringLiteral("login"), QStringLiteral("secret"));
    EXPECT_TRUE(credentials.token().isNull());
}

TEST(Records, CopiedCredentialsAreIndependent) {
    OVPiktoCredentials source(QStringLiteral("login"), QStringLiteral("secret"));
    source.setToken(QStringLiteral("t1"));
    OVPiktoCredentials copy = OVPiktoCredentials::initWithCredentials(source);
    EXPECT_EQ(copy.token(), "t1");
    copy.setToken(QStringLiteral("t2"));
    EXPECT_EQ(source.token(), "t1");
}

TEST(Records, NameComparatorsUseCharacterValueOrder) {
    const QList<OvPiktoAlbum> albums{album("B"), album("a"), album("A")};
    EXPECT_EQ(sortedNames(albums, &OvPiktoAlbum::nameComparisonDesc), (QStringList{"A", "B", "a"}));
    EXPECT_EQ(sortedNames(albums, &OvPiktoAlbum::nameComparisonAsc), (QStringList{"a", "B", "A"}));
}

TEST(Records, NameComparisonTreatsCanonicalEquivalentsAsEqualAndOrdersByCodePoint) {
    const QString composed = QStringLiteral("\u00e9");    // é
    const QString decomposed = QStringLiteral("e\u0301"); // e + combining acute
    EXPECT_EQ(OvPiktoAlbum::compareNames(composed, decomposed), 0);
    // U+1F600 is beyond U+FFFD although its first UTF-16 unit (0xD83D) is smaller.
    EXPECT_EQ(OvPiktoAlbum::compareNames(QStringLiteral("\U0001F600"), QStringLiteral("\uFFFD")),
              1);
    EXPECT_EQ(OvPiktoAlbum::compareNames("ab", "abc"), -1);
    EXPECT_EQ(OvPiktoAlbum::compareNames("", ""), 0);
}

TEST(Records, CountAndLockComparators) {
    const OvPiktoAlbum small = album("s", 1), large = album("l", 9), same = album("x", 9);
    EXPECT_EQ(large.imagesCountComparisonAsc(small), -1) << "largest first";
    EXPECT_EQ(small.imagesCountComparisonAsc(large), 1);
    EXPECT_EQ(small.imagesCountComparisonDesc(large), -1);
    EXPECT_EQ(large.imagesCountComparisonAsc(same), 0);
    EXPECT_EQ(large.imagesCountComparisonDesc(same), 0);

    const OvPiktoAlbum open = album("o"), locked = album("l", 0, true),
                       locked2 = album("m", 0, true);
    EXPECT_EQ(open.isLockedComparisonAsc(locked), -1) << "unlocked first";
    EXPECT_EQ(locked.isLockedComparisonAsc(open), 1);
    EXPECT_EQ(locked.isLockedComparisonDesc(open), -1);
    EXPECT_EQ(locked.isLockedComparisonAsc(locked2), 0);
    EXPECT_EQ(locked.isLockedComparisonDesc(locked2), 0);

    const OvPiktoAlbum extremes = album("e", INT_MIN), other = album("f", INT_MAX);
    EXPECT_EQ(extremes.imagesCountComparisonDesc(other), -1) << "no overflow at the limits";
}
