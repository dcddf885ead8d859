#pragma once

#include "albumrecord.h"
#include "photorecord.h"
#include "storedqueries.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

// Accounts, tokens, albums and photo records of the stand-in service in one SQLite file.
// Every operation takes the one lock, so handlers on any thread may call it. Failures of
// SQLite are reported as an empty optional or false, never thrown.
class Database {
public:
    // Seconds since the epoch; replaceable so tests can age tokens.
    using Clock = std::function<std::int64_t()>;
    static constexpr std::int64_t kDefaultTokenLifetime = 30LL * 24 * 60 * 60;
    static constexpr int kDefaultTokensPerAccount = 20;

    enum class CreateResult { Created, Taken, Failed };

    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (creating when missing) the database file and its tables. Returns false with
    // a reason in `error` when the file cannot be opened or the schema cannot be made.
    bool open(const std::string& path, std::string& error);

    // Adds the account or changes its password; false on a storage failure.
    bool setUser(const std::string& login, const std::string& password);
    // Adds the account without a password (it cannot sign in) unless it exists already.
    bool ensureUser(const std::string& login);
    bool userExists(const std::string& login);
    // Adds the account with `password` unless an account of the same login, compared
    // ignoring ASCII case, exists: checked and inserted in one statement, so two
    // registrations of one login cannot both succeed. Taken then; Failed on a storage failure.
    CreateResult createUser(const std::string& login, const std::string& password);
    // True only for an existing account with a password equal to `password`;
    // an account without a password refuses every password.
    bool checkPassword(const std::string& login, const std::string& password);

    // How long a token is good for and how many an account keeps; set before use.
    void setTokenPolicy(std::int64_t lifetimeSeconds, int perAccount);
    void setClock(Clock clock) { clock_ = std::move(clock); }

    // Stores a hash of the token for the login (replacing the owner of an equal token),
    // good for the token lifetime from now. The account's oldest tokens beyond the cap per
    // account and every expired token are dropped. The token itself is never stored.
    bool addToken(const std::string& token, const std::string& login);
    // The login the token belongs to; empty for an unknown or expired token.
    std::optional<std::string> tokenOwner(const std::string& token);
    // Forgets the token (a site session that ends); false on a storage failure.
    bool removeToken(const std::string& token);
    // How many unexpired tokens the account holds (for checks of the cap).
    int tokenCount(const std::string& login);
    // Forgets every token of the account (plug-in tokens and site sessions) and its
    // password reset token; false on a storage failure.
    bool removeTokens(const std::string& login);

    // Password reset tokens: like tokens, only their SHA-256 is stored. Each stays good until
    // used or expired, whatever reminders come after it; an account holds at most
    // kResetLinksPerAccount unexpired ones.
    static constexpr int kResetLinksPerAccount = 10;
    // Stores the reset token for the login, good for `lifetimeSeconds` from now; expired ones
    // are dropped. False on a storage failure, and when the account holds
    // kResetLinksPerAccount unexpired links already (none is added then).
    bool addResetToken(const std::string& token, const std::string& login,
                       std::int64_t lifetimeSeconds);
    // The login of an unexpired reset token, leaving it in place; empty otherwise.
    std::optional<std::string> resetTokenOwner(const std::string& token);
    // Uses the reset token up: in one transaction removes it, sets the password of its
    // account and forgets every other token of the account (whoever held the old password
    // is signed out everywhere). Returns the login; empty for an unknown, used or expired
    // token, and on a storage failure (which changes nothing).
    std::optional<std::string> resetPassword(const std::string& token, const std::string& password);

    // The account's albums, oldest first, with their image counts.
    std::vector<AlbumRecord> albums(const std::string& login);
    // Albums without a password that hold public photos, the one with the newest public
    // photo first, at most `limit` of them.
    std::vector<AlbumRecord> newestPublicAlbums(int limit);
    // An album with what a visitor sees of it: every photo, or only the public ones.
    struct AlbumSummary {
        AlbumRecord album;
        std::int64_t shownCount = 0;
        // The newest photo shown, with only its id, album and secret; empty when none is.
        std::optional<PhotoRecord> cover;
    };
    // The account's albums, oldest first, each with its photos shown to a visitor.
    std::vector<AlbumSummary> albumSummaries(const std::string& login, bool publicOnly);
    // The album with this id; empty when there is none.
    std::optional<AlbumSummary> albumSummary(std::int64_t id, bool publicOnly);
    // At most `limit` photos of the album, newest first, skipping the `offset` newest.
    std::vector<PhotoRecord> albumPage(std::int64_t albumId, bool publicOnly, std::int64_t offset,
                                       std::int64_t limit);
    // How many photos of the album are shown; 0 also on a storage failure.
    std::int64_t photoCount(std::int64_t albumId, bool publicOnly);
    // Where a photo stands among those shown of its album, newest first.
    struct PhotoPlace {
        std::int64_t position = 0; // 1 for the newest
        std::int64_t count = 0;
        std::optional<std::int64_t> newer; // the one shown before it
        std::optional<std::int64_t> older; // the one shown after it
    };
    // Empty on a storage failure. The photo itself need not be one shown.
    std::optional<PhotoPlace> photoPlace(std::int64_t albumId, std::int64_t photoId,
                                         bool publicOnly);
    // The album with this id, whoever owns it; empty when there is none.
    std::optional<AlbumRecord> album(std::int64_t id);
    // Creates an album; returns it as stored, empty on a storage failure.
    std::optional<AlbumRecord> createAlbum(const std::string& login, const std::string& title,
                                           const std::string& summary, const std::string& password);
    // Changes title and summary; `password` empty-optional keeps the current password,
    // an empty text removes it. False when the album is gone or storage fails.
    bool updateAlbum(std::int64_t id, const std::string& title, const std::string& summary,
                     const std::optional<std::string>& password);
    // Removes the album and its photo records in one transaction; returns the ids of the
    // removed photos (whose files the caller deletes), empty when nothing was removed.
    std::optional<std::vector<std::int64_t>> deleteAlbum(std::int64_t id);
    // The id of the account's unsorted album, created on first use; empty on failure.
    std::optional<std::int64_t> unsortedAlbumId(const std::string& login);

    // A random text made once per data folder, for values the site derives and checks
    // (album password cookies); empty on a storage failure.
    std::string siteSecret();

    // Stores a photo record in album `photo.albumId` only while that album exists and belongs
    // to `login`, checked and inserted in one statement so an album removed meanwhile cannot
    // gain a photo. `place`, when given, puts the photo's file in place under the new id
    // before the record is committed; the record is not stored when it returns false.
    // Returns the new id; empty when the album is missing or someone else's, when `place`
    // failed, or on a storage failure. The record's secret is made here.
    std::optional<std::int64_t> addPhoto(const PhotoRecord& photo, const std::string& login,
                                         const std::function<bool(std::int64_t)>& place = {});
    // The ids of every photo record, ascending (for reconciling records with files).
    std::vector<std::int64_t> photoIds();
    bool removePhoto(std::int64_t id);
    std::vector<PhotoRecord> photos(std::int64_t albumId);
    std::optional<PhotoRecord> photo(std::int64_t id);

private:
    bool exec(const char* sql);
    // The login `sql` (a SELECT of a login by hash and a time it must be later than) finds
    // for the token; empty when none is found or unexpired.
    std::optional<std::string> unexpiredOwner(const char* sql, const std::string& token);
    bool migrateClearTokens();
    bool addPhotoSecrets();
    bool migrateAlbumsAndResetLinks();
    std::optional<std::int64_t> insertPhotoLocked(const PhotoRecord& photo,
                                                  const std::string& login,
                                                  const std::string& secret);
    std::optional<AlbumRecord> albumLocked(std::int64_t id);
    // The single number `id` gives for the album (and photo, when it takes one); empty when
    // it gives none or storage fails.
    std::optional<std::int64_t> countLocked(StoredQueries::Id id, bool publicOnly,
                                            std::int64_t albumId, std::int64_t photoId);
    bool removeTokensLocked(const std::string& login);

    std::int64_t now() const;

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    Clock clock_;
    std::int64_t tokenLifetime_ = kDefaultTokenLifetime;
    int tokensPerAccount_ = kDefaultTokensPerAccount;
};
