#include "uploadreceiver.h"

#include "database.h"
#include "multipartform.h"
#include "photofolder.h"
#include "textutil.h"

#include <httplib.h>

namespace {

void refuse(httplib::Response& res) {
    res.status = 200;
    res.set_content("Upload failed", "text/plain; charset=utf-8");
}

void cannotStore(httplib::Response& res) {
    TextUtil::answerText(res, 500, "Cannot store the photo");
}

} // namespace

void UploadReceiver::receive(httplib::Response& res, const std::string& contentType,
                             std::string body) {
    if (contentType.rfind("multipart/form-data", 0) != 0)
        return refuse(res);
    std::optional<httplib::MultipartFormDataMap> parts =
        MultipartForm::parse(contentType, std::move(body));
    if (!parts)
        return refuse(res);

    // The first part of a name counts.
    auto field = [&](const std::string& name) -> std::string {
        auto it = parts->find(name);
        return it == parts->end() ? std::string() : it->second.content;
    };
    auto has = [&](const std::string& name) { return parts->find(name) != parts->end(); };

    const std::string token = field("token");
    const std::optional<std::string> owner = token.empty() ? std::nullopt : db_.tokenOwner(token);
    if (!owner)
        return refuse(res);

    const auto image = parts->find("image");
    if (image == parts->end() || image->second.content.empty())
        return refuse(res);

    const std::string access = field("access_type");
    if (has("access_type") && access != "public" && access != "private" && access != "friends")
        return refuse(res);

    // Resolved last: album "-1" creates the unsorted album, which a refused upload must not.
    // Whether the album is the owner's is checked by the insert itself.
    std::optional<std::int64_t> albumId;
    const std::string album = field("album");
    if (album == "-1")
        albumId = db_.unsortedAlbumId(*owner);
    else if (TextUtil::isDecimalId(album))
        albumId = std::stoll(album);
    if (!albumId)
        return refuse(res);

    PhotoRecord photo;
    photo.albumId = *albumId;
    // A name is shown on pages and written to logs: no line breaks or other controls.
    photo.fileName = TextUtil::withoutControls(image->second.filename);
    photo.access = access;
    photo.commentsDisabled = field("disable_comments") == "1";
    photo.adultsOnly = field("xxx") == "1";
    photo.originalHidden = field("hide_orig") == "1";
    photo.channel = field("pub_channel");
    photo.appPlatform = field("app_platform");
    photo.appVersion = field("app_version");
    photo.size = static_cast<std::int64_t>(image->second.content.size());

    // The bytes go to disk first, so a stored record always has its file.
    const std::optional<std::string> temporary = photos_.writeTemporary(image->second.content);
    if (!temporary)
        return cannotStore(res);
    // Empty when the album is gone or someone else's by now (or on a storage failure).
    const std::optional<std::int64_t> id = photos_.store(db_, photo, *owner, *temporary);
    if (!id)
        return refuse(res);
    // The album may have been deleted after the insert, its files removed before this one
    // was placed; the record is gone then and so must the file be.
    if (!db_.photo(*id))
        photos_.remove(*id);
    res.status = 200;
    res.set_content("OK " + std::to_string(*id), "text/plain; charset=utf-8");
}
