// The store's guarantees that handlers on several threads rely on.

#include "database.h"
#include "photofolder.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

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

// A kill -9 during an upload may leave a file without its record (after the file was placed,
// before the record was committed), never a record without its file; files and records
// that do not match after any crash are brought together at start.
TEST_F(DatabaseTest, KilledUploadsLeaveNoPhotoWithoutItsFileAfterStart) {
    const std::optional<AlbumRecord> album = db.createAlbum("alice", "Trip", "", "");
    ASSERT_TRUE(album);
    const PhotoFolder folder(dir.filePath(QStringLiteral("photos")).toStdString());
    std::string error;
    ASSERT_TRUE(folder.prepare(error)) << error;
    const auto stored = [&](const std::string& bytes) {
        const std::optional<std::string> temporary = folder.writeTemporary(bytes);
        return temporary ? folder.store(db, photoIn(album->id), "alice", *temporary) : std::nullopt;
    };
    const std::optional<std::int64_t> kept = stored("kept");
    const std::optional<std::int64_t> lost = stored("lost");
    ASSERT_TRUE(kept && lost);
    // A placement that fails stores no record.
    EXPECT_FALSE(db.addPhoto(photoIn(album->id), "alice", [](std::int64_t) { return false; }));
    EXPECT_EQ(db.photoIds(), (std::vector<std::int64_t>{*kept, *lost}));

    // Leftovers of crashes: a record whose file is gone (from before files came first), a
    // file and a thumbnail whose record never got committed, a thumbnail of nothing.
    QFile::remove(QString::fromStdString(folder.pathFor(*lost)));
    ASSERT_TRUE(folder.writeDerived(*lost, PhotoFolder::Derived::Thumb, "thumb"));
    const std::optional<std::string> orphan = folder.writeTemporary("orphan");
    ASSERT_TRUE(orphan && folder.place(*orphan, 9000));
    ASSERT_TRUE(folder.writeDerived(9000, PhotoFolder::Derived::Screen, "screen"));
    ASSERT_TRUE(folder.writeDerived(9001, PhotoFolder::Derived::Thumb, "thumb"));

    EXPECT_EQ(folder.reconcile(db), 3u);
    EXPECT_EQ(db.photoIds(), std::vector<std::int64_t>{*kept});
    EXPECT_EQ(db.albums("alice").at(0).imageCount, 1);
    for (const std::string& path :
         {folder.derivedPath(*lost, PhotoFolder::Derived::Thumb), folder.pathFor(9000),
          folder.derivedPath(9000, PhotoFolder::Derived::Screen),
          folder.derivedPath(9001, PhotoFolder::Derived::Thumb)})
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path))) << path;
    EXPECT_EQ(folder.read(*kept), "kept");
    EXPECT_EQ(folder.reconcile(db), 0u);
}

TEST_F(DatabaseTest, TokensExpireAfterTheirLifetime) {
    std::int64_t now = 1000000;
    db.setClock([&now] { return now; });
    db.setTokenPolicy(30LL * 24 * 3600, 20);
    ASSERT_TRUE(db.addToken("tok", "alice"));
    now += 30LL * 24 * 3600 - 1;
    EXPECT_EQ(db.tokenOwner("tok"), "alice");
    now += 1;
    EXPECT_FALSE(db.tokenOwner("tok"));
}

TEST_F(DatabaseTest, AnAccountKeepsOnlyItsNewestTokens) {
    std::int64_t now = 1000000;
    db.setClock([&now] { return now; });
    db.setTokenPolicy(3600, 3);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(db.addToken("tok" + std::to_string(i), "alice"));
        ++now;
    }
    ASSERT_TRUE(db.addToken("bobs", "bob"));
    EXPECT_EQ(db.tokenCount("alice"), 3);
    EXPECT_FALSE(db.tokenOwner("tok0"));
    EXPECT_FALSE(db.tokenOwner("tok1"));
    EXPECT_EQ(db.tokenOwner("tok4"), "alice");
    EXPECT_EQ(db.tokenOwner("bobs"), "bob");
}

TEST(DatabaseMigrationTest, ClearTokensOfAnOlderDatabaseBecomeHashesAndKeepWorking) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("pikto.sqlite")).toStdString();
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw,
                               "CREATE TABLE tokens (token TEXT PRIMARY KEY, login TEXT NOT NULL,"
                               " created INTEGER NOT NULL);"
                               "INSERT INTO tokens VALUES('old-clear-token', 'alice', "
                               "strftime('%s','now'));",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    {
        Database db;
        std::string error;
        ASSERT_TRUE(db.open(path, error)) << error;
        EXPECT_EQ(db.tokenOwner("old-clear-token"), "alice");
    }
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("old-clear-token"));
}

class AccountStoreTest : public DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        db.setClock([this] { return time; });
    }

    std::int64_t time = 1'000'000;
};

TEST_F(AccountStoreTest, CreateUserRefusesALoginTakenIgnoringCase) {
    ASSERT_EQ(db.createUser("Alice", "first password"), Database::CreateResult::Created);
    EXPECT_EQ(db.createUser("Alice", "second password"), Database::CreateResult::Taken);
    EXPECT_EQ(db.createUser("aLICE", "second password"), Database::CreateResult::Taken);
    EXPECT_TRUE(db.checkPassword("Alice", "first password"));
    EXPECT_FALSE(db.userExists("aLICE"));
}

TEST_F(AccountStoreTest, ResetPasswordUsesTheTokenOnce) {
    ASSERT_TRUE(db.setUser("alice", "old password"));
    ASSERT_TRUE(db.addResetToken("reset-1", "alice", 3600));
    EXPECT_EQ(db.resetTokenOwner("reset-1"), "alice");
    EXPECT_EQ(db.resetPassword("reset-1", "new password"), "alice");
    EXPECT_TRUE(db.checkPassword("alice", "new password"));
    EXPECT_FALSE(db.checkPassword("alice", "old password"));
    EXPECT_FALSE(db.resetTokenOwner("reset-1"));
    EXPECT_FALSE(db.resetPassword("reset-1", "third password"));
    EXPECT_TRUE(db.checkPassword("alice", "new password"));
}

TEST_F(AccountStoreTest, ExpiredResetTokenChangesNothing) {
    ASSERT_TRUE(db.setUser("alice", "old password"));
    ASSERT_TRUE(db.addResetToken("reset-1", "alice", 3600));
    time += 3599;
    EXPECT_EQ(db.resetTokenOwner("reset-1"), "alice");
    time += 1;
    EXPECT_FALSE(db.resetTokenOwner("reset-1"));
    EXPECT_FALSE(db.resetPassword("reset-1", "new password"));
    EXPECT_TRUE(db.checkPassword("alice", "old password"));
}

TEST_F(AccountStoreTest, ResetPasswordEndsTheAccountsTokensOnly) {
    ASSERT_TRUE(db.setUser("alice", "old password"));
    ASSERT_TRUE(db.setUser("bob", "bobs password"));
    ASSERT_TRUE(db.addToken("alice-session", "alice"));
    ASSERT_TRUE(db.addToken("bob-session", "bob"));
    ASSERT_TRUE(db.addResetToken("reset-bob", "bob", 3600));
    ASSERT_TRUE(db.addResetToken("reset-1", "alice", 3600));
    ASSERT_EQ(db.resetPassword("reset-1", "new password"), "alice");
    EXPECT_FALSE(db.tokenOwner("alice-session"));
    EXPECT_EQ(db.tokenOwner("bob-session"), "bob");
    EXPECT_EQ(db.resetTokenOwner("reset-bob"), "bob");
}

} // namespace
