#include "database.h"

#include "storedqueries.h"
#include "textutil.h"

#include <QCryptographicHash>

#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <set>

namespace {

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    return Statement(stmt, &sqlite3_finalize);
}

// One of the stored statements; its public-only variant when `publicOnly`.
Statement prepare(sqlite3* db, StoredQueries::Id id, bool publicOnly = false) {
    return prepare(db, StoredQueries::sql(id, publicOnly).c_str());
}

void bindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string columnText(sqlite3_stmt* stmt, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, index));
    if (!text)
        return {};
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, index)));
}

// Tokens are kept as the hexadecimal SHA-256 of their text: a token is 160 random bits,
// so the hash alone cannot be turned back into one.
std::string tokenHash(const std::string& token) {
    return QCryptographicHash::hash(QByteArray(token.data(), static_cast<qsizetype>(token.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// Passwords are kept as salted SHA-256, "salt$hash" in hexadecimal.
std::string passwordHash(const std::string& salt, const std::string& password) {
    const std::string input = salt + "$" + password;
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(input.data(), static_cast<qsizetype>(input.size())), QCryptographicHash::Sha256);
    return salt + "$" + digest.toHex().toStdString();
}

AlbumRecord readAlbum(sqlite3_stmt* stmt) {
    AlbumRecord album;
    album.id = sqlite3_column_int64(stmt, 0);
    album.login = columnText(stmt, 1);
    album.title = columnText(stmt, 2);
    album.summary = columnText(stmt, 3);
    album.password = columnText(stmt, 4);
    album.unsorted = sqlite3_column_int(stmt, 5) != 0;
    album.updated = sqlite3_column_int64(stmt, 6);
    album.imageCount = sqlite3_column_int64(stmt, 7);
    album.passwordChanges = sqlite3_column_int64(stmt, 8);
    return album;
}

PhotoRecord readPhoto(sqlite3_stmt* stmt) {
    PhotoRecord photo;
    photo.id = sqlite3_column_int64(stmt, 0);
    photo.albumId = sqlite3_column_int64(stmt, 1);
    photo.fileName = columnText(stmt, 2);
    photo.access = columnText(stmt, 3);
    photo.commentsDisabled = sqlite3_column_int(stmt, 4) != 0;
    photo.adultsOnly = sqlite3_column_int(stmt, 5) != 0;
    photo.originalHidden = sqlite3_column_int(stmt, 6) != 0;
    photo.channel = columnText(stmt, 7);
    photo.appPlatform = columnText(stmt, 8);
    photo.appVersion = columnText(stmt, 9);
    photo.size = sqlite3_column_int64(stmt, 10);
    photo.created = sqlite3_column_int64(stmt, 11);
    photo.secret = columnText(stmt, 12);
    return photo;
}

} // namespace

Database::~Database() {
    if (db_)
        sqlite3_close(db_);
}

std::int64_t Database::now() const {
    return clock_ ? clock_() : static_cast<std::int64_t>(std::time(nullptr));
}

void Database::setTokenPolicy(std::int64_t lifetimeSeconds, int perAccount) {
    std::lock_guard lock(mutex_);
    tokenLifetime_ = lifetimeSeconds;
    tokensPerAccount_ = perAccount;
}

bool Database::exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Database::open(const std::string& path, std::string& error) {
    std::lock_guard lock(mutex_);
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        error = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // Deleted rows (dropped tokens, old password hashes) are overwritten, not left in free
    // pages of the file.
    exec("PRAGMA secure_delete = ON");
    // Readers do not wait for a writer, and a commit syncs the log only at checkpoints: a
    // crash of the process loses nothing committed, a power cut at most the last commits.
    exec("PRAGMA journal_mode = WAL");
    exec("PRAGMA synchronous = NORMAL");
    const char* schema =
        "CREATE TABLE IF NOT EXISTS users ("
        " login TEXT PRIMARY KEY, password TEXT);"
        "CREATE TABLE IF NOT EXISTS token_hashes ("
        " hash TEXT PRIMARY KEY, login TEXT NOT NULL, created INTEGER NOT NULL,"
        " expires INTEGER NOT NULL);"
        "CREATE INDEX IF NOT EXISTS token_hashes_login ON token_hashes(login);"
        "CREATE TABLE IF NOT EXISTS albums ("
        " id INTEGER PRIMARY KEY AUTOINCREMENT, login TEXT NOT NULL,"
        " title TEXT NOT NULL DEFAULT '', summary TEXT NOT NULL DEFAULT '',"
        " password TEXT NOT NULL DEFAULT '', unsorted INTEGER NOT NULL DEFAULT 0,"
        " updated INTEGER NOT NULL);"
        "CREATE TABLE IF NOT EXISTS photos ("
        " id INTEGER PRIMARY KEY AUTOINCREMENT, album_id INTEGER NOT NULL,"
        " file_name TEXT NOT NULL, access TEXT NOT NULL,"
        " comments_disabled INTEGER NOT NULL, adults_only INTEGER NOT NULL,"
        " original_hidden INTEGER NOT NULL, channel TEXT NOT NULL,"
        " app_platform TEXT NOT NULL, app_version TEXT NOT NULL,"
        " size INTEGER NOT NULL, created INTEGER NOT NULL,"
        " secret TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE IF NOT EXISTS reset_links ("
        " hash TEXT PRIMARY KEY, login TEXT NOT NULL,"
        " expires INTEGER NOT NULL);"
        "CREATE INDEX IF NOT EXISTS reset_links_login ON reset_links(login);"
        "CREATE TABLE IF NOT EXISTS settings ("
        " name TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "CREATE INDEX IF NOT EXISTS albums_login ON albums(login);"
        "CREATE INDEX IF NOT EXISTS photos_album ON photos(album_id);"
        // For the pages: what a visitor may see of an album, the newest
        // public photos, and dropping expired tokens at each sign-in.
        "CREATE INDEX IF NOT EXISTS photos_album_access ON photos(album_id, access);"
        "CREATE INDEX IF NOT EXISTS photos_access ON photos(access);"
        "CREATE INDEX IF NOT EXISTS token_hashes_expires ON token_hashes(expires);"
        "CREATE INDEX IF NOT EXISTS reset_links_expires ON reset_links(expires);";
    char* message = nullptr;
    if (sqlite3_exec(db_, schema, nullptr, nullptr, &message) != SQLITE_OK) {
        error = message ? message : "cannot create the tables";
        sqlite3_free(message);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    if (!addPhotoSecrets()) {
        error = "cannot give the stored photos their web addresses";
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    if (!migrateAlbumsAndResetLinks()) {
        error = "cannot convert the albums and reset links of an earlier run";
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    if (!migrateClearTokens()) {
        error = "cannot convert the stored tokens to hashes";
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

bool Database::migrateAlbumsAndResetLinks() {
    bool hasCounter = false;
    bool hasOldResets = false;
    {
        Statement columns = prepare(db_, "PRAGMA table_info(albums)");
        Statement tables = prepare(
            db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'reset_tokens'");
        if (!columns || !tables)
            return false;
        while (sqlite3_step(columns.get()) == SQLITE_ROW)
            hasCounter = hasCounter || columnText(columns.get(), 1) == "password_changes";
        hasOldResets = sqlite3_step(tables.get()) == SQLITE_ROW;
    }
    if (!hasCounter &&
        !exec("ALTER TABLE albums ADD COLUMN password_changes INTEGER NOT NULL DEFAULT 0"))
        return false;
    // Earlier runs kept one reset link per account, in a table that allowed no more.
    if (!hasOldResets)
        return true;
    if (exec("BEGIN IMMEDIATE;"
             "INSERT OR IGNORE INTO reset_links SELECT hash, login, expires FROM reset_tokens;"
             "DROP TABLE reset_tokens;"
             "COMMIT"))
        return true;
    exec("ROLLBACK");
    return false;
}

bool Database::addPhotoSecrets() {
    // Photos of earlier runs had sequential addresses only: give each a random part.
    bool hasColumn = false;
    {
        Statement columns = prepare(db_, "PRAGMA table_info(photos)");
        if (!columns)
            return false;
        while (sqlite3_step(columns.get()) == SQLITE_ROW)
            hasColumn = hasColumn || columnText(columns.get(), 1) == "secret";
    }
    if (!hasColumn && !exec("ALTER TABLE photos ADD COLUMN secret TEXT NOT NULL DEFAULT ''"))
        return false;
    return exec("UPDATE photos SET secret = lower(hex(randomblob(16))) WHERE secret = ''");
}

std::string Database::siteSecret() {
    std::lock_guard lock(mutex_);
    {
        Statement find = prepare(db_, StoredQueries::SiteSecret);
        if (!find)
            return {};
        if (sqlite3_step(find.get()) == SQLITE_ROW)
            return columnText(find.get(), 0);
    }
    const std::string secret = TextUtil::randomHex(32);
    Statement insert = prepare(db_, "INSERT INTO settings(name, value) VALUES('site_secret', ?)");
    if (secret.empty() || !insert)
        return {};
    bindText(insert.get(), 1, secret);
    return sqlite3_step(insert.get()) == SQLITE_DONE ? secret : std::string();
}

bool Database::migrateClearTokens() {
    // Earlier runs kept tokens in clear in "tokens": keep them working as hashes, then drop
    // the table; secure_delete overwrites its pages.
    {
        Statement exists =
            prepare(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tokens'");
        if (!exists)
            return false;
        if (sqlite3_step(exists.get()) != SQLITE_ROW)
            return true;
    }
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = false;
    {
        Statement rows = prepare(db_, "SELECT token, login, created FROM tokens");
        Statement insert = prepare(db_, "INSERT OR IGNORE INTO token_hashes(hash, login, created, "
                                        "expires) VALUES(?, ?, ?, ?)");
        ok = rows && insert;
        while (ok && sqlite3_step(rows.get()) == SQLITE_ROW) {
            const std::int64_t created = sqlite3_column_int64(rows.get(), 2);
            bindText(insert.get(), 1, tokenHash(columnText(rows.get(), 0)));
            bindText(insert.get(), 2, columnText(rows.get(), 1));
            sqlite3_bind_int64(insert.get(), 3, created);
            sqlite3_bind_int64(insert.get(), 4, created + tokenLifetime_);
            ok = sqlite3_step(insert.get()) == SQLITE_DONE;
            sqlite3_reset(insert.get());
        }
    }
    if (ok && exec("DROP TABLE tokens") && exec("COMMIT"))
        return exec("VACUUM");
    exec("ROLLBACK");
    return false;
}

bool Database::setUser(const std::string& login, const std::string& password) {
    const std::string salt = TextUtil::randomHex(8);
    if (salt.empty())
        return false;
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, "INSERT INTO users(login, password) VALUES(?, ?) "
                                  "ON CONFLICT(login) DO UPDATE SET password = excluded.password");
    if (!stmt)
        return false;
    bindText(stmt.get(), 1, login);
    bindText(stmt.get(), 2, passwordHash(salt, password));
    return sqlite3_step(stmt.get()) == SQLITE_DONE;
}

Database::CreateResult Database::createUser(const std::string& login, const std::string& password) {
    const std::string salt = TextUtil::randomHex(8);
    if (salt.empty())
        return CreateResult::Failed;
    std::lock_guard lock(mutex_);
    // SQLite's lower() folds ASCII letters only, which is the rule wanted here.
    Statement stmt = prepare(db_, "INSERT INTO users(login, password) SELECT ?1, ?2 "
                                  "WHERE NOT EXISTS (SELECT 1 FROM users "
                                  "WHERE lower(login) = lower(?1))");
    if (!stmt)
        return CreateResult::Failed;
    bindText(stmt.get(), 1, login);
    bindText(stmt.get(), 2, passwordHash(salt, password));
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        return CreateResult::Failed;
    return sqlite3_changes(db_) == 1 ? CreateResult::Created : CreateResult::Taken;
}

bool Database::ensureUser(const std::string& login) {
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, "INSERT OR IGNORE INTO users(login, password) VALUES(?, NULL)");
    if (!stmt)
        return false;
    bindText(stmt.get(), 1, login);
    return sqlite3_step(stmt.get()) == SQLITE_DONE;
}

bool Database::userExists(const std::string& login) {
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, StoredQueries::UserExists);
    if (!stmt)
        return false;
    bindText(stmt.get(), 1, login);
    return sqlite3_step(stmt.get()) == SQLITE_ROW;
}

bool Database::checkPassword(const std::string& login, const std::string& password) {
    std::string stored;
    {
        std::lock_guard lock(mutex_);
        Statement stmt = prepare(db_, "SELECT password FROM users WHERE login = ?");
        if (!stmt)
            return false;
        bindText(stmt.get(), 1, login);
        if (sqlite3_step(stmt.get()) != SQLITE_ROW)
            return false;
        stored = columnText(stmt.get(), 0);
    }
    const auto dollar = stored.find('$');
    if (dollar == std::string::npos)
        return false;
    return passwordHash(stored.substr(0, dollar), password) == stored;
}

bool Database::addToken(const std::string& token, const std::string& login) {
    const std::string hash = tokenHash(token);
    std::lock_guard lock(mutex_);
    const std::int64_t time = now();
    Statement insert = prepare(db_, "INSERT INTO token_hashes(hash, login, created, expires) "
                                    "VALUES(?, ?, ?, ?) ON CONFLICT(hash) DO UPDATE SET "
                                    "login = excluded.login, created = excluded.created, "
                                    "expires = excluded.expires");
    Statement expired = prepare(db_, "DELETE FROM token_hashes WHERE expires <= ?");
    // The newest tokens of the account stay, up to the cap; ties go by insertion order.
    Statement surplus = prepare(db_, "DELETE FROM token_hashes WHERE login = ?1 AND rowid NOT IN "
                                     "(SELECT rowid FROM token_hashes WHERE login = ?1 "
                                     "ORDER BY created DESC, rowid DESC LIMIT ?2)");
    if (!insert || !expired || !surplus)
        return false;
    bindText(insert.get(), 1, hash);
    bindText(insert.get(), 2, login);
    sqlite3_bind_int64(insert.get(), 3, time);
    sqlite3_bind_int64(insert.get(), 4, time + tokenLifetime_);
    if (sqlite3_step(insert.get()) != SQLITE_DONE)
        return false;
    sqlite3_bind_int64(expired.get(), 1, time);
    bindText(surplus.get(), 1, login);
    sqlite3_bind_int(surplus.get(), 2, tokensPerAccount_);
    return sqlite3_step(expired.get()) == SQLITE_DONE && sqlite3_step(surplus.get()) == SQLITE_DONE;
}

std::optional<std::string> Database::tokenOwner(const std::string& token) {
    return unexpiredOwner(StoredQueries::sql(StoredQueries::TokenOwner).c_str(), token);
}

std::optional<std::string> Database::unexpiredOwner(const char* sql, const std::string& token) {
    const std::string hash = tokenHash(token);
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, sql);
    if (!stmt)
        return std::nullopt;
    bindText(stmt.get(), 1, hash);
    sqlite3_bind_int64(stmt.get(), 2, now());
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        return std::nullopt;
    return columnText(stmt.get(), 0);
}

bool Database::removeToken(const std::string& token) {
    const std::string hash = tokenHash(token);
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, "DELETE FROM token_hashes WHERE hash = ?");
    if (!stmt)
        return false;
    bindText(stmt.get(), 1, hash);
    return sqlite3_step(stmt.get()) == SQLITE_DONE;
}

int Database::tokenCount(const std::string& login) {
    std::lock_guard lock(mutex_);
    Statement stmt =
        prepare(db_, "SELECT COUNT(*) FROM token_hashes WHERE login = ? AND expires > ?");
    if (!stmt)
        return 0;
    bindText(stmt.get(), 1, login);
    sqlite3_bind_int64(stmt.get(), 2, now());
    return sqlite3_step(stmt.get()) == SQLITE_ROW ? sqlite3_column_int(stmt.get(), 0) : 0;
}

bool Database::removeTokens(const std::string& login) {
    std::lock_guard lock(mutex_);
    return removeTokensLocked(login);
}

bool Database::removeTokensLocked(const std::string& login) {
    Statement tokens = prepare(db_, "DELETE FROM token_hashes WHERE login = ?");
    Statement resets = prepare(db_, "DELETE FROM reset_links WHERE login = ?");
    if (!tokens || !resets)
        return false;
    bindText(tokens.get(), 1, login);
    bindText(resets.get(), 1, login);
    return sqlite3_step(tokens.get()) == SQLITE_DONE && sqlite3_step(resets.get()) == SQLITE_DONE;
}

bool Database::addResetToken(const std::string& token, const std::string& login,
                             std::int64_t lifetimeSeconds) {
    const std::string hash = tokenHash(token);
    std::lock_guard lock(mutex_);
    const std::int64_t time = now();
    Statement expired = prepare(db_, "DELETE FROM reset_links WHERE expires <= ?");
    // Earlier links stay good: whoever asks for a reminder cannot void the owner's link.
    // At the cap no link is added, so asking again and again cannot push one out either.
    Statement insert =
        prepare(db_, "INSERT INTO reset_links(hash, login, expires) SELECT ?1, ?2, ?3 "
                     "WHERE (SELECT COUNT(*) FROM reset_links WHERE login = ?2) < ?4");
    if (!insert || !expired)
        return false;
    sqlite3_bind_int64(expired.get(), 1, time);
    if (sqlite3_step(expired.get()) != SQLITE_DONE)
        return false;
    bindText(insert.get(), 1, hash);
    bindText(insert.get(), 2, login);
    sqlite3_bind_int64(insert.get(), 3, time + lifetimeSeconds);
    sqlite3_bind_int(insert.get(), 4, kResetLinksPerAccount);
    return sqlite3_step(insert.get()) == SQLITE_DONE && sqlite3_changes(db_) == 1;
}

std::optional<std::string> Database::resetTokenOwner(const std::string& token) {
    return unexpiredOwner("SELECT login FROM reset_links WHERE hash = ? AND expires > ?", token);
}

std::optional<std::string> Database::resetPassword(const std::string& token,
                                                   const std::string& password) {
    const std::string hash = tokenHash(token);
    const std::string salt = TextUtil::randomHex(8);
    if (salt.empty())
        return std::nullopt;
    std::lock_guard lock(mutex_);
    // IMMEDIATE: no other connection to the file writes between the look-up and the removal,
    // so a token is used once even by two processes.
    if (!exec("BEGIN IMMEDIATE"))
        return std::nullopt;
    std::optional<std::string> login;
    bool ok = false;
    {
        Statement find =
            prepare(db_, "SELECT login FROM reset_links WHERE hash = ? AND expires > ?");
        Statement update = prepare(db_, "UPDATE users SET password = ? WHERE login = ?");
        if (find && update) {
            bindText(find.get(), 1, hash);
            sqlite3_bind_int64(find.get(), 2, now());
            if (sqlite3_step(find.get()) == SQLITE_ROW)
                login = columnText(find.get(), 0);
            if (login) {
                bindText(update.get(), 1, passwordHash(salt, password));
                bindText(update.get(), 2, *login);
                ok = sqlite3_step(update.get()) == SQLITE_DONE && sqlite3_changes(db_) == 1 &&
                     removeTokensLocked(*login);
            }
        }
    }
    if (!ok || !exec("COMMIT")) {
        exec("ROLLBACK");
        return std::nullopt;
    }
    return login;
}

std::vector<AlbumRecord> Database::albums(const std::string& login) {
    std::vector<AlbumRecord> result;
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, StoredQueries::AlbumsOfLogin);
    if (!stmt)
        return result;
    bindText(stmt.get(), 1, login);
    while (sqlite3_step(stmt.get()) == SQLITE_ROW)
        result.push_back(readAlbum(stmt.get()));
    return result;
}

std::vector<AlbumRecord> Database::newestPublicAlbums(int limit) {
    std::vector<AlbumRecord> result;
    std::set<std::int64_t> seen;
    std::lock_guard lock(mutex_);
    // Newest public photo first, so each album comes at its newest; the walk stops at `limit`
    // albums instead of grouping every public photo.
    Statement stmt = prepare(db_, StoredQueries::NewestPublicPhotos);
    while (stmt && static_cast<int>(result.size()) < limit &&
           sqlite3_step(stmt.get()) == SQLITE_ROW) {
        const std::int64_t albumId = sqlite3_column_int64(stmt.get(), 0);
        if (!seen.insert(albumId).second)
            continue;
        std::optional<AlbumRecord> album = albumLocked(albumId);
        if (album && album->password.empty())
            result.push_back(std::move(*album));
    }
    return result;
}

namespace {

Database::AlbumSummary readSummary(sqlite3_stmt* stmt) {
    Database::AlbumSummary summary;
    summary.album = readAlbum(stmt);
    summary.shownCount = sqlite3_column_int64(stmt, 9);
    if (sqlite3_column_type(stmt, 10) != SQLITE_NULL) {
        PhotoRecord cover;
        cover.id = sqlite3_column_int64(stmt, 10);
        cover.albumId = summary.album.id;
        cover.secret = columnText(stmt, 11);
        summary.cover = std::move(cover);
    }
    return summary;
}

} // namespace

std::vector<Database::AlbumSummary> Database::albumSummaries(const std::string& login,
                                                             bool publicOnly) {
    std::vector<AlbumSummary> result;
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, StoredQueries::SummariesOfLogin, publicOnly);
    if (!stmt)
        return result;
    bindText(stmt.get(), 1, login);
    while (sqlite3_step(stmt.get()) == SQLITE_ROW)
        result.push_back(readSummary(stmt.get()));
    return result;
}

std::optional<Database::AlbumSummary> Database::albumSummary(std::int64_t id, bool publicOnly) {
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, StoredQueries::SummaryById, publicOnly);
    if (!stmt)
        return std::nullopt;
    sqlite3_bind_int64(stmt.get(), 1, id);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        return std::nullopt;
    return readSummary(stmt.get());
}

std::vector<PhotoRecord> Database::albumPage(std::int64_t albumId, bool publicOnly,
                                             std::int64_t offset, std::int64_t limit) {
    std::vector<PhotoRecord> result;
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, StoredQueries::AlbumPage, publicOnly);
    if (!stmt)
        return result;
    sqlite3_bind_int64(stmt.get(), 1, albumId);
    sqlite3_bind_int64(stmt.get(), 2, limit);
    sqlite3_bind_int64(stmt.get(), 3, offset);
    while (sqlite3_step(stmt.get()) == SQLITE_ROW)
        result.push_back(readPhoto(stmt.get()));
    return result;
}

std::optional<std::int64_t> Database::countLocked(StoredQueries::Id id, bool publicOnly,
                                                  std::int64_t albumId, std::int64_t photoId) {
    Statement stmt = prepare(db_, id, publicOnly);
    if (!stmt)
        return std::nullopt;
    sqlite3_bind_int64(stmt.get(), 1, albumId);
    if (sqlite3_bind_parameter_count(stmt.get()) > 1)
        sqlite3_bind_int64(stmt.get(), 2, photoId);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW || sqlite3_column_type(stmt.get(), 0) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(stmt.get(), 0);
}

std::int64_t Database::photoCount(std::int64_t albumId, bool publicOnly) {
    std::lock_guard lock(mutex_);
    return countLocked(StoredQueries::PhotoCount, publicOnly, albumId, 0).value_or(0);
}

std::optional<Database::PhotoPlace> Database::photoPlace(std::int64_t albumId, std::int64_t photoId,
                                                         bool publicOnly) {
    std::lock_guard lock(mutex_);
    const std::optional<std::int64_t> count =
        countLocked(StoredQueries::PhotoCount, publicOnly, albumId, 0);
    const std::optional<std::int64_t> position =
        countLocked(StoredQueries::PhotosFrom, publicOnly, albumId, photoId);
    if (!count || !position)
        return std::nullopt;
    PhotoPlace place;
    place.count = *count;
    place.position = *position;
    place.newer = countLocked(StoredQueries::NewerPhoto, publicOnly, albumId, photoId);
    place.older = countLocked(StoredQueries::OlderPhoto, publicOnly, albumId, photoId);
    return place;
}

std::optional<AlbumRecord> Database::albumLocked(std::int64_t id) {
    Statement stmt = prepare(db_, StoredQueries::AlbumById);
    if (!stmt)
        return std::nullopt;
    sqlite3_bind_int64(stmt.get(), 1, id);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        return std::nullopt;
    return readAlbum(stmt.get());
}

std::optional<AlbumRecord> Database::album(std::int64_t id) {
    std::lock_guard lock(mutex_);
    return albumLocked(id);
}

std::optional<AlbumRecord> Database::createAlbum(const std::string& login, const std::string& title,
                                                 const std::string& summary,
                                                 const std::string& password) {
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(
        db_, "INSERT INTO albums(login, title, summary, password, updated) VALUES(?, ?, ?, ?, ?)");
    if (!stmt)
        return std::nullopt;
    bindText(stmt.get(), 1, login);
    bindText(stmt.get(), 2, title);
    bindText(stmt.get(), 3, summary);
    bindText(stmt.get(), 4, password);
    sqlite3_bind_int64(stmt.get(), 5, now());
    if (sqlite3_step(stmt.get()) != SQLITE_DONE)
        return std::nullopt;
    return albumLocked(sqlite3_last_insert_rowid(db_));
}

bool Database::updateAlbum(std::int64_t id, const std::string& title, const std::string& summary,
                           const std::optional<std::string>& password) {
    std::lock_guard lock(mutex_);
    // Every password set counts, the same one again too: the album's cookies name the count.
    Statement stmt = prepare(db_, "UPDATE albums SET title = ?1, summary = ?2, "
                                  "password = COALESCE(?3, password), updated = ?4, "
                                  "password_changes = password_changes + (?3 IS NOT NULL) "
                                  "WHERE id = ?5");
    if (!stmt)
        return false;
    bindText(stmt.get(), 1, title);
    bindText(stmt.get(), 2, summary);
    if (password)
        bindText(stmt.get(), 3, *password);
    else
        sqlite3_bind_null(stmt.get(), 3);
    sqlite3_bind_int64(stmt.get(), 4, now());
    sqlite3_bind_int64(stmt.get(), 5, id);
    return sqlite3_step(stmt.get()) == SQLITE_DONE && sqlite3_changes(db_) == 1;
}

std::optional<std::vector<std::int64_t>> Database::deleteAlbum(std::int64_t id) {
    std::lock_guard lock(mutex_);
    if (!exec("BEGIN IMMEDIATE"))
        return std::nullopt;
    std::vector<std::int64_t> photoIds;
    bool ok = false;
    {
        Statement list = prepare(db_, "SELECT id FROM photos WHERE album_id = ?");
        Statement dropPhotos = prepare(db_, "DELETE FROM photos WHERE album_id = ?");
        Statement dropAlbum = prepare(db_, "DELETE FROM albums WHERE id = ?");
        if (list && dropPhotos && dropAlbum) {
            sqlite3_bind_int64(list.get(), 1, id);
            while (sqlite3_step(list.get()) == SQLITE_ROW)
                photoIds.push_back(sqlite3_column_int64(list.get(), 0));
            sqlite3_bind_int64(dropPhotos.get(), 1, id);
            sqlite3_bind_int64(dropAlbum.get(), 1, id);
            ok = sqlite3_step(dropPhotos.get()) == SQLITE_DONE &&
                 sqlite3_step(dropAlbum.get()) == SQLITE_DONE && sqlite3_changes(db_) == 1;
        }
    }
    if (!ok) {
        exec("ROLLBACK");
        return std::nullopt;
    }
    if (!exec("COMMIT")) {
        exec("ROLLBACK");
        return std::nullopt;
    }
    return photoIds;
}

std::optional<std::int64_t> Database::unsortedAlbumId(const std::string& login) {
    std::lock_guard lock(mutex_);
    {
        Statement find = prepare(db_, StoredQueries::UnsortedAlbum);
        if (!find)
            return std::nullopt;
        bindText(find.get(), 1, login);
        if (sqlite3_step(find.get()) == SQLITE_ROW)
            return sqlite3_column_int64(find.get(), 0);
    }
    Statement insert =
        prepare(db_, "INSERT INTO albums(login, title, summary, password, unsorted, updated) "
                     "VALUES(?, 'Неразобранное', '', '', 1, ?)");
    if (!insert)
        return std::nullopt;
    bindText(insert.get(), 1, login);
    sqlite3_bind_int64(insert.get(), 2, now());
    if (sqlite3_step(insert.get()) != SQLITE_DONE)
        return std::nullopt;
    return sqlite3_last_insert_rowid(db_);
}

std::optional<std::int64_t> Database::addPhoto(const PhotoRecord& photo, const std::string& login,
                                               const std::function<bool(std::int64_t)>& place) {
    const std::string secret = TextUtil::randomHex(16);
    if (secret.empty())
        return std::nullopt;
    std::lock_guard lock(mutex_);
    if (!exec("BEGIN IMMEDIATE"))
        return std::nullopt;
    const std::optional<std::int64_t> id = insertPhotoLocked(photo, login, secret);
    // The file is in place before the record is committed: a crash in between leaves a file
    // without a record (removed at the next start), never a record without its file.
    if (!id || (place && !place(*id)) || !exec("COMMIT")) {
        exec("ROLLBACK");
        return std::nullopt;
    }
    return id;
}

std::vector<std::int64_t> Database::photoIds() {
    std::vector<std::int64_t> ids;
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, "SELECT id FROM photos ORDER BY id");
    while (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(stmt.get(), 0));
    return ids;
}

std::optional<std::int64_t> Database::insertPhotoLocked(const PhotoRecord& photo,
                                                        const std::string& login,
                                                        const std::string& secret) {
    Statement stmt = prepare(db_, StoredQueries::InsertPhoto);
    if (!stmt)
        return std::nullopt;
    sqlite3_bind_int64(stmt.get(), 1, photo.albumId);
    bindText(stmt.get(), 2, photo.fileName);
    bindText(stmt.get(), 3, photo.access);
    sqlite3_bind_int(stmt.get(), 4, photo.commentsDisabled ? 1 : 0);
    sqlite3_bind_int(stmt.get(), 5, photo.adultsOnly ? 1 : 0);
    sqlite3_bind_int(stmt.get(), 6, photo.originalHidden ? 1 : 0);
    bindText(stmt.get(), 7, photo.channel);
    bindText(stmt.get(), 8, photo.appPlatform);
    bindText(stmt.get(), 9, photo.appVersion);
    sqlite3_bind_int64(stmt.get(), 10, photo.size);
    sqlite3_bind_int64(stmt.get(), 11, now());
    bindText(stmt.get(), 12, login);
    bindText(stmt.get(), 13, secret);
    if (sqlite3_step(stmt.get()) != SQLITE_DONE || sqlite3_changes(db_) != 1)
        return std::nullopt;
    return sqlite3_last_insert_rowid(db_);
}

bool Database::removePhoto(std::int64_t id) {
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, "DELETE FROM photos WHERE id = ?");
    if (!stmt)
        return false;
    sqlite3_bind_int64(stmt.get(), 1, id);
    return sqlite3_step(stmt.get()) == SQLITE_DONE;
}

std::vector<PhotoRecord> Database::photos(std::int64_t albumId) {
    std::vector<PhotoRecord> result;
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, StoredQueries::AlbumPage);
    if (!stmt)
        return result;
    sqlite3_bind_int64(stmt.get(), 1, albumId);
    sqlite3_bind_int64(stmt.get(), 2, -1); // no limit
    sqlite3_bind_int64(stmt.get(), 3, 0);
    while (sqlite3_step(stmt.get()) == SQLITE_ROW)
        result.push_back(readPhoto(stmt.get()));
    std::reverse(result.begin(), result.end()); // oldest first
    return result;
}

std::optional<PhotoRecord> Database::photo(std::int64_t id) {
    std::lock_guard lock(mutex_);
    Statement stmt = prepare(db_, StoredQueries::PhotoById);
    if (!stmt)
        return std::nullopt;
    sqlite3_bind_int64(stmt.get(), 1, id);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        return std::nullopt;
    return readPhoto(stmt.get());
}
