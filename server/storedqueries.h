#pragma once

#include <string>
#include <vector>

// The statements behind the site's pages, the album API and uploads, kept in one place so
// that every one of them can be checked to find its rows through an index. Each parameter
// is bound by the Database operation that runs it.
class StoredQueries {
public:
    enum Id {
        TokenOwner,
        UserExists,
        SiteSecret,
        AlbumsOfLogin,
        AlbumById,
        UnsortedAlbum,
        // Album summaries: the album with how many photos a visitor sees and the newest of them.
        SummariesOfLogin,
        SummariesOfLoginPublic,
        SummaryById,
        SummaryByIdPublic,
        // The album ids of public photos, newest photo first.
        NewestPublicPhotos,
        PhotoById,
        InsertPhoto,
        // One page of an album's photos, newest first: album, limit, offset.
        AlbumPage,
        AlbumPagePublic,
        PhotoCount,
        PhotoCountPublic,
        // A photo's neighbours in the newest-first order and how many come before it.
        NewerPhoto,
        NewerPhotoPublic,
        OlderPhoto,
        OlderPhotoPublic,
        PhotosFrom,
        PhotosFromPublic,
        QueryCount
    };

    struct Query {
        const char* name;
        std::string sql;
    };

    // The text of the statement.
    static const std::string& sql(Id id);
    // Of the public-only variant when `publicOnly`, of the one that shows every photo otherwise;
    // `shownAll` must be followed by its public variant in Id.
    static const std::string& sql(Id shownAll, bool publicOnly);
    // Every statement with its name, in Id order.
    static const std::vector<Query>& all();
};
