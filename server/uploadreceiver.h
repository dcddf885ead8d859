#pragma once

#include <string>

namespace httplib {
struct Response;
} // namespace httplib

class Database;
class PhotoFolder;

// POST /post/: one photo as multipart/form-data with the fields token, album, access_type,
// disable_comments, ovru, xxx, hide_orig, pub_channel, app_platform, app_version and the
// file part "image".
class UploadReceiver {
public:
    UploadReceiver(Database& db, const PhotoFolder& photos) : db_(db), photos_(photos) {}

    // Parses the form (the request's content type and its whole body) and stores the
    // photo bytes unchanged. Answers 200 "OK <photo id>" when stored; 200 with exactly
    // "Upload failed" when refused (not a well-formed multipart form, unknown token, an
    // album that is not the token owner's, an unknown access level, a missing or empty
    // image); 500 when the photo cannot be written.
    void receive(httplib::Response& res, const std::string& contentType, std::string body);

private:
    Database& db_;
    const PhotoFolder& photos_;
};
