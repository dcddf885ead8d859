#include "storedqueries.h"

namespace {

const std::string kAlbumColumns =
    "SELECT a.id, a.login, a.title, a.summary, a.password, a.unsorted, a.updated, "
    "(SELECT COUNT(*) FROM photos p WHERE p.album_id = a.id), a.password_changes";

const std::string kPhotoColumns =
    "SELECT id, album_id, file_name, access, comments_disabled, adults_only, original_hidden, "
    "channel, app_platform, app_version, size, created, secret FROM photos ";

// The album's columns, then the count of the photos shown and the id and secret of the newest.
std::string summaryColumns(bool publicOnly) {
    const std::string shown = publicOnly ? " AND p.access = 'public'" : "";
    return kAlbumColumns + ", (SELECT COUNT(*) FROM photos p WHERE p.album_id = a.id" + shown +
           "), c.id, c.secret FROM albums a LEFT JOIN photos c ON c.id = (SELECT MAX(p.id) FROM "
           "photos p WHERE p.album_id = a.id" +
           shown + ") ";
}

std::vector<StoredQueries::Query> makeQueries() {
    const std::string pub = " AND access = 'public'";
    std::vector<StoredQueries::Query> q(StoredQueries::QueryCount);
    const auto set = [&](StoredQueries::Id id, const char* name, std::string sql) {
        q[id] = {name, std::move(sql)};
    };
    set(StoredQueries::TokenOwner, "token owner",
        "SELECT login FROM token_hashes WHERE hash = ? AND expires > ?");
    set(StoredQueries::UserExists, "user exists", "SELECT 1 FROM users WHERE login = ?");
    set(StoredQueries::SiteSecret, "site secret",
        "SELECT value FROM settings WHERE name = 'site_secret'");
    set(StoredQueries::AlbumsOfLogin, "albums of a login",
        kAlbumColumns + " FROM albums a WHERE a.login = ? ORDER BY a.id");
    set(StoredQueries::AlbumById, "album by id", kAlbumColumns + " FROM albums a WHERE a.id = ?");
    set(StoredQueries::UnsortedAlbum, "unsorted album",
        "SELECT id FROM albums WHERE login = ? AND unsorted = 1 ORDER BY id");
    set(StoredQueries::SummariesOfLogin, "album summaries",
        summaryColumns(false) + "WHERE a.login = ? ORDER BY a.id");
    set(StoredQueries::SummariesOfLoginPublic, "album summaries, public",
        summaryColumns(true) + "WHERE a.login = ? ORDER BY a.id");
    set(StoredQueries::SummaryById, "album summary", summaryColumns(false) + "WHERE a.id = ?");
    set(StoredQueries::SummaryByIdPublic, "album summary, public",
        summaryColumns(true) + "WHERE a.id = ?");
    set(StoredQueries::NewestPublicPhotos, "newest public photos",
        "SELECT album_id FROM photos WHERE access = 'public' ORDER BY id DESC");
    set(StoredQueries::PhotoById, "photo by id", kPhotoColumns + "WHERE id = ?");
    set(StoredQueries::InsertPhoto, "photo insert",
        "INSERT INTO photos(album_id, file_name, access, comments_disabled, adults_only, "
        "original_hidden, channel, app_platform, app_version, size, created, secret) "
        "SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?13 "
        "WHERE EXISTS (SELECT 1 FROM albums WHERE id = ?1 AND login = ?12)");
    set(StoredQueries::AlbumPage, "album page",
        kPhotoColumns + "WHERE album_id = ? ORDER BY id DESC LIMIT ? OFFSET ?");
    set(StoredQueries::AlbumPagePublic, "album page, public",
        kPhotoColumns + "WHERE album_id = ?" + pub + " ORDER BY id DESC LIMIT ? OFFSET ?");
    set(StoredQueries::PhotoCount, "photo count", "SELECT COUNT(*) FROM photos WHERE album_id = ?");
    set(StoredQueries::PhotoCountPublic, "photo count, public",
        "SELECT COUNT(*) FROM photos WHERE album_id = ?" + pub);
    set(StoredQueries::NewerPhoto, "newer photo",
        "SELECT MIN(id) FROM photos WHERE album_id = ?1 AND id > ?2");
    set(StoredQueries::NewerPhotoPublic, "newer photo, public",
        "SELECT MIN(id) FROM photos WHERE album_id = ?1 AND id > ?2" + pub);
    set(StoredQueries::OlderPhoto, "older photo",
        "SELECT MAX(id) FROM photos WHERE album_id = ?1 AND id < ?2");
    set(StoredQueries::OlderPhotoPublic, "older photo, public",
        "SELECT MAX(id) FROM photos WHERE album_id = ?1 AND id < ?2" + pub);
    set(StoredQueries::PhotosFrom, "photos from one on",
        "SELECT COUNT(*) FROM photos WHERE album_id = ?1 AND id >= ?2");
    set(StoredQueries::PhotosFromPublic, "photos from one on, public",
        "SELECT COUNT(*) FROM photos WHERE album_id = ?1 AND id >= ?2" + pub);
    return q;
}

} // namespace

const std::vector<StoredQueries::Query>& StoredQueries::all() {
    static const std::vector<Query> queries = makeQueries();
    return queries;
}

const std::string& StoredQueries::sql(Id id) {
    return all()[id].sql;
}

const std::string& StoredQueries::sql(Id shownAll, bool publicOnly) {
    return sql(static_cast<Id>(shownAll + (publicOnly ? 1 : 0)));
}
