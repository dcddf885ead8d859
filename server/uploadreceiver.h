#pragma once

#include <cstdint>
#include <string>

struct WebExchange;
struct WebResponse;
class Database;
class MultipartForm;
class PhotoFolder;

// POST /post/: one photo as multipart/form-data with the fields token, album, access_type,
// disable_comments, ovru, xxx, hide_orig, pub_channel, app_platform, app_version and the
// file part "image". The body is parsed as it arrives and the image written straight to a
// temporary file of the photo folder; no upload is ever held in memory.
class UploadReceiver {
public:
    UploadReceiver(Database& db, const PhotoFolder& photos) : db_(db), photos_(photos) {}

    // Takes the upload of `exchange`, whose head has been read. Answers at once, without
    // reading the body, when the head already decides: no multipart content type with a
    // boundary, or an Authorization token nobody owns. Once the body's token field has
    // arrived and is nobody's, the rest of the body is read but no longer kept.
    // The answer: 200 "OK <photo id>" when stored; 200 with exactly "Upload failed" when
    // refused (not a well-formed multipart form, unknown token, an album that is not the
    // token owner's, an unknown access level, a missing or empty image); 500 when the photo
    // cannot be written.
    void start(WebExchange& exchange);

private:
    void finish(WebResponse& res, MultipartForm& form, const std::string& owner);

    Database& db_;
    const PhotoFolder& photos_;
};
