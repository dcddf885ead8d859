#pragma once

#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

class Database;
class PhotoFolder;

// The plain HTML pages of the website: home, account pages and album pages, and the
// stored photos themselves.
class WebPages {
public:
    WebPages(Database& db, const PhotoFolder& photos) : db_(db), photos_(photos) {}

    // GET /: a short home page.
    void home(httplib::Response& res);
    // GET /passport/: the registration page for ?mode=register, the password reminder for
    // ?mode=remember, otherwise an index of both.
    void passport(const httplib::Request& req, httplib::Response& res);
    // GET /users/LOGIN/album/ID/: title, description and every photo of the album with
    // its file name, access level and flags; 404 for an album the login does not own.
    void album(httplib::Response& res, const std::string& login, const std::string& albumId);
    // GET /photos/ID.jpg: the stored bytes as image/jpeg; 404 when unknown.
    void photo(httplib::Response& res, const std::string& fileName);

private:
    Database& db_;
    const PhotoFolder& photos_;
};
