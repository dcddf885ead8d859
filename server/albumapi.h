#pragma once

#include <string>

struct WebRequest;
struct WebResponse;

class Database;
class PhotoFolder;

// The album requests of the API. Each answers with the status the client maps for that
// request: list, fetch and update refuse a missing or unknown token with 401 and a token
// of another account with 403; create turns these round (403, 401); delete answers 403
// for both. An album id that is not one of the account's albums is 404.
class AlbumApi {
public:
    AlbumApi(Database& db, const PhotoFolder& photos) : db_(db), photos_(photos) {}

    // GET users/LOGIN/albums/: 200 with the feed of the account's albums.
    void list(const WebRequest& req, WebResponse& res, const std::string& login);
    // POST users/LOGIN/albums/: 201 with the new album's entry; 400 for a body that is not
    // an Atom entry.
    void create(const WebRequest& req, WebResponse& res, const std::string& login,
                const std::string& body);
    // GET users/LOGIN/album/ID/: 200 with the album's entry.
    void fetch(const WebRequest& req, WebResponse& res, const std::string& login,
               const std::string& albumId);
    // PUT users/LOGIN/album/ID/: title, summary and f:password from the body (an empty
    // f:password removes the password); 200 with the changed entry, 400 for a bad body.
    void update(const WebRequest& req, WebResponse& res, const std::string& login,
                const std::string& albumId, const std::string& body);
    // DELETE users/LOGIN/album/ID/: 204 once the album and its photos are gone.
    void remove(const WebRequest& req, WebResponse& res, const std::string& login,
                const std::string& albumId);

private:
    enum class Caller { Anonymous, OtherAccount, Owner };
    Caller caller(const WebRequest& req, const std::string& login);
    // True when the request's token belongs to `login`; otherwise answers the refusal
    // status this request uses for a missing or bad token, or for another account's token.
    bool admitOwner(const WebRequest& req, WebResponse& res, const std::string& login,
                    int anonymousStatus, int otherAccountStatus);

    Database& db_;
    const PhotoFolder& photos_;
};
