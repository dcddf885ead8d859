// The Atom documents of the album API and the Authorization header, without a network.

#include "atomformat.h"
#include "zimptoken.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

std::string golden(const char* name) {
    QFile file(QStringLiteral(OVPIKTO_GOLDEN_DIR "/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        return "missing golden file " + std::string(name);
    return file.readAll().toStdString();
}

AlbumRecord sampleAlbum() {
    AlbumRecord album;
    album.id = 17;
    album.login = "alice";
    album.title = "Лето & <море>";
    album.summary = "\"Пляж\"";
    album.password = "pw";
    album.imageCount = 3;
    album.updated = 1767225600; // 2026-01-01T00:00:00Z
    return album;
}

TEST(AtomFormatTest, EntryMatchesGoldenFile) {
    EXPECT_EQ(AtomFormat::entry(sampleAlbum()), golden("album-entry.xml"));
}

TEST(AtomFormatTest, FeedMatchesGoldenFile) {
    AlbumRecord open = sampleAlbum();
    open.id = 18;
    open.title = "Неразобранное";
    open.summary = "";
    open.password = "";
    open.imageCount = 0;
    EXPECT_EQ(AtomFormat::feed("alice", {sampleAlbum(), open}), golden("album-feed.xml"));
}

TEST(AtomFormatTest, ParsesTheEntryTheClientSends) {
    const auto fields = AtomFormat::parseEntry(
        "\n<entry xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\">"
        "<id>tag:x:album:1</id><title>A &amp; B</title><summary>S</summary>"
        "<f:password>p&lt;w</f:password></entry>\n");
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->title, "A & B");
    EXPECT_EQ(fields->summary, "S");
    EXPECT_EQ(fields->password, "p<w");
}

TEST(AtomFormatTest, TellsAnAbsentPasswordFromAnEmptyOne) {
    const auto absent = AtomFormat::parseEntry("<entry><title>t</title></entry>");
    ASSERT_TRUE(absent);
    EXPECT_FALSE(absent->password.has_value());
    EXPECT_FALSE(absent->summary.has_value());
    const auto empty = AtomFormat::parseEntry("<entry><f:password/></entry>");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->password, std::optional<std::string>(""));
}

TEST(AtomFormatTest, RefusesWhatIsNotAnEntry) {
    for (const char* body : {"", "<entry>", "<feed/>", "not xml", "<entry></entr>"})
        EXPECT_FALSE(AtomFormat::parseEntry(body)) << body;
}

struct HeaderCase {
    const char* header;
    std::optional<std::string> token;
};

TEST(ZimpTokenTest, ReadsTheTokenParameter) {
    const HeaderCase cases[] = {
        {"ZimpToken realm=\"pikto.ovrana.ru\", token=\"abc123\"", "abc123"},
        {"ZimpToken token=\"abc\", realm=\"x\"", "abc"},
        {"zimptoken   realm=\"x\" ,token=\"a b\"", "a b"},
        {"ZimpToken token=plain", "plain"},
        {"ZimpToken token=\"with \\\"quote\\\"\"", "with \"quote\""},
        {"ZimpToken realm=\"x\"", std::nullopt},
        {"ZimpToken token=\"\"", std::nullopt},
        {"ZimpToken token=\"open", std::nullopt},
        {"ZimpToken realm=\"x\" token=\"t\"", std::nullopt},
        {"ZimpTokentoken=\"t\"", std::nullopt},
        {"Bearer token=\"t\"", std::nullopt},
        {"", std::nullopt},
    };
    for (const HeaderCase& c : cases)
        EXPECT_EQ(ZimpToken::parse(c.header), c.token) << c.header;
}

} // namespace
