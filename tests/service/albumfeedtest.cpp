// The album answers read from bytes: the golden files are what the stand-in service
// writes (tests/server checks its side against the same bytes).
#include "albumfeed.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray golden(const char* name) {
    QFile file(QStringLiteral(OVPIKTO_GOLDEN_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

QByteArray feed(const QByteArray& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<feed xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\">" +
           entries + "</feed>";
}

} // namespace

TEST(AlbumFeed, TheServicesListGivesItsAlbumsInOrderWithEveryField) {
    const auto albums = AlbumFeed::albumsFromFeed(golden("album-feed.xml"));
    ASSERT_TRUE(albums.has_value());
    ASSERT_EQ(albums->size(), 2);
    const OvPiktoAlbum& first = albums->at(0);
    EXPECT_EQ(first.albumId(), "17");
    EXPECT_EQ(first.name(), QStringLiteral("Лето & <море>"));
    EXPECT_EQ(first.description(), QStringLiteral("\"Пляж\""));
    EXPECT_EQ(first.imagesCount(), 3);
    EXPECT_TRUE(first.isLocked());
    const OvPiktoAlbum& second = albums->at(1);
    EXPECT_EQ(second.albumId(), "18");
    EXPECT_EQ(second.name(), QStringLiteral("Неразобранное"));
    EXPECT_EQ(second.description(), "");
    EXPECT_EQ(second.imagesCount(), 0);
    EXPECT_FALSE(second.isLocked());
}

TEST(AlbumFeed, EntryFieldsAreReadFromTheirQualifiedNames) {
    const QByteArray entries =
        "<entry><id>tag:x:album:11</id><title>Locked</title><summary>s</summary>"
        "<f:image-count value=\"42 photos\"/><f:protected value=\"true\"/></entry>"
        "<entry><id>tag:x:album:12</id><title>Capitals</title>"
        "<f:protected value=\"TRUE\"/></entry>"
        "<entry><id>tag:x:album:13</id><title>False</title><f:protected value=\"false\"/>"
        "<f:image-count value=\"1000000\"/></entry>"
        "<entry><id>no album here</id><title>Nameless id</title></entry>"
        "<other><id>tag:x:album:99</id></other>";
    const auto albums = AlbumFeed::albumsFromFeed(feed(entries));
    ASSERT_TRUE(albums.has_value());
    ASSERT_EQ(albums->size(), 4);
    EXPECT_EQ(albums->at(0).albumId(), "11");
    EXPECT_EQ(albums->at(0).imagesCount(), 42);
    EXPECT_TRUE(albums->at(0).isLocked());
    EXPECT_EQ(albums->at(0).description(), "s");
    EXPECT_FALSE(albums->at(1).isLocked()) << "only the exact text true locks";
    EXPECT_EQ(albums->at(1).imagesCount(), 0) << "no image count";
    EXPECT_EQ(albums->at(1).description(), "") << "no summary keeps the default";
    EXPECT_FALSE(albums->at(2).isLocked());
    EXPECT_EQ(albums->at(2).imagesCount(), 1000000);
    EXPECT_EQ(albums->at(3).albumId(), "-1") << "an id without album: keeps the default";
    EXPECT_EQ(albums->at(3).name(), "Nameless id");
}

TEST(AlbumFeed, AListWithoutEntriesIsEmptyAndUnreadableBytesAreNothing) {
    const auto none = AlbumFeed::albumsFromFeed(feed(""));
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->isEmpty());
    EXPECT_FALSE(AlbumFeed::albumsFromFeed("this is <not xml").has_value());
    EXPECT_FALSE(AlbumFeed::albumsFromFeed(QByteArray()).has_value());
    EXPECT_FALSE(AlbumFeed::albumsFromFeed(feed("<entry>")).has_value()) << "unclosed";
}

TEST(AlbumFeed, TheServicesEntryIsADocumentNamingItsAlbum) {
    const QByteArray entry = golden("album-entry.xml");
    const auto document = AlbumFeed::entryDocument(entry);
    ASSERT_TRUE(document.has_value());
    const OvPiktoAlbum album = AlbumFeed::albumFromEntry(document->documentElement());
    EXPECT_EQ(album.albumId(), "17");
    EXPECT_EQ(album.name(), QStringLiteral("Лето & <море>"));
    EXPECT_EQ(album.imagesCount(), 3);
    EXPECT_TRUE(album.isLocked());
    EXPECT_EQ(AlbumFeed::albumIdOfEntry(entry), "17");
}

TEST(AlbumFeed, AnEntryWithoutIdOrNotXmlNamesNothing) {
    const QByteArray withoutId =
        "<entry xmlns=\"http://www.w3.org/2005/Atom\"><title>t</title></entry>";
    EXPECT_FALSE(AlbumFeed::entryDocument(withoutId).has_value());
    EXPECT_TRUE(AlbumFeed::albumIdOfEntry(withoutId).isNull());
    EXPECT_FALSE(AlbumFeed::entryDocument("garbage").has_value());
    EXPECT_TRUE(AlbumFeed::albumIdOfEntry("garbage").isNull());
    EXPECT_TRUE(AlbumFeed::albumIdOfEntry("<entry><id>urn:x:42</id></entry>").isNull())
        << "an id that names no album";
    EXPECT_EQ(AlbumFeed::albumIdOfEntry("<entry><title/><id>tag:album:7</id></entry>"), "7");
}

TEST(AlbumFeed, AtomIdsNameTheTextAfterTheirFirstAlbumMark) {
    EXPECT_EQ(AlbumFeed::albumIdFromAtomId("tag:pikto.ovrana.ru,2026:album:17"), "17");
    EXPECT_EQ(AlbumFeed::albumIdFromAtomId("album:album:3"), "album:3");
    EXPECT_EQ(AlbumFeed::albumIdFromAtomId("x:album:"), "");
    EXPECT_TRUE(AlbumFeed::albumIdFromAtomId("tag:x:42").isNull());
}
