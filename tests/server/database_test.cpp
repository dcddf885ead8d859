// The store's guarantees that handlers on several threads rely on.

#include "database.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        std::string error;
        ASSERT_TRUE(db.open(dir.filePath(QStringLiteral("pikto.sqlite")).toStdString(), error))
            << error;
    }

    PhotoRecord photoIn(std::int64_t albumId) const {
        PhotoRecord photo;
        photo.albumId = albumId;
        photo.fileName = "IMG_0001.JPG";
        photo.size = 100;
        return photo;
    }

    QTemporaryDir dir;
    Database db;
};

TEST_F(DatabaseTest, AddPhotoStoresIntoTheLoginsOwnAlbum) {
    const std::optional<AlbumRecord> album = db.createAlbum("alice", "Trip", "", "");
    ASSERT_TRUE(album);
    const std::optional<std::int64_t> id = db.addPhoto(photoIn(album->id), "alice");
    ASSERT_TRUE(id);
    const std::optional<PhotoRecord> stored = db.photo(*id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->albumId, album->id);
    EXPECT_EQ(stored->fileName, "IMG_0001.JPG");
}

TEST_F(DatabaseTest, AddPhotoRefusesAnotherLoginsAlbum) {
    const std::optional<AlbumRecord> bobs = db.createAlbum("bob", "Bob's", "", "");
    ASSERT_TRUE(bobs);
    EXPECT_FALSE(db.addPhoto(photoIn(bobs->id), "alice"));
    EXPECT_TRUE(db.photos(bobs->id).empty());
}

TEST_F(DatabaseTest, AddPhotoRefusesAnAlbumDeletedAfterItWasLookedUp) {
    const std::optional<AlbumRecord> album = db.createAlbum("alice", "Trip", "", "");
    ASSERT_TRUE(album);
    ASSERT_TRUE(db.deleteAlbum(album->id));
    EXPECT_FALSE(db.addPhoto(photoIn(album->id), "alice"));
    EXPECT_TRUE(db.photos(album->id).empty());
    EXPECT_FALSE(db.addPhoto(photoIn(album->id + 1000), "alice"));
}

} // namespace
