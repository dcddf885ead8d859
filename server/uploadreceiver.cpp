#include "uploadreceiver.h"

#include "database.h"
#include "multipartform.h"
#include "photofolder.h"
#include "textutil.h"
#include "webexchange.h"
#include "zimptoken.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace {

void refuse(WebResponse& res) {
    res.status = 200;
    res.set_content("Upload failed", "text/plain; charset=utf-8");
}

void cannotStore(WebResponse& res) {
    TextUtil::answerText(res, 500, "Cannot store the photo");
}

// Flushes a written file to disk; false on failure.
bool flushed(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

// What one upload has learnt so far, shared by its body and finish steps.
struct UploadState {
    std::unique_ptr<MultipartForm> form;
    std::string owner; // set once the token field has been checked
    bool refused = false;
};

} // namespace

void UploadReceiver::start(WebExchange& exchange) {
    WebResponse& res = exchange.res;
    const std::string contentType = exchange.req.get_header_value("Content-Type");
    const std::string boundary = MultipartForm::boundaryOf(contentType);
    const std::string authorization = exchange.req.get_header_value("Authorization");
    const std::optional<std::string> bearer =
        authorization.empty() ? std::nullopt : ZimpToken::parse(authorization);
    if (contentType.rfind("multipart/form-data", 0) != 0 || boundary.empty() ||
        (!authorization.empty() && (!bearer || !db_.tokenOwner(*bearer)))) {
        refuse(res);
        exchange.next = WebExchange::Next::Answer;
        return;
    }
    auto state = std::make_shared<UploadState>();
    state->form =
        std::make_unique<MultipartForm>(boundary, [this] { return photos_.makeTemporary(); });
    exchange.body = [this, state](std::string_view data) {
        if (state->refused)
            return true; // read to the end, so the refusal arrives as an answer
        state->refused = !state->form->feed(data);
        if (!state->refused && state->owner.empty()) {
            if (const MultipartForm::Part* token = state->form->part("token")) {
                const auto owner =
                    token->content.empty() ? std::nullopt : db_.tokenOwner(token->content);
                state->refused = !owner;
                state->owner = owner.value_or("");
            }
        }
        if (state->refused)
            state->form.reset(); // its temporary files go now
        return true;
    };
    exchange.finish = [this, state, &res] {
        if (state->refused || !state->form->complete() || state->owner.empty())
            return refuse(res);
        finish(res, *state->form, state->owner);
    };
}

void UploadReceiver::finish(WebResponse& res, MultipartForm& form, const std::string& owner) {
    // The first part of a name counts.
    auto field = [&](const std::string& name) -> std::string {
        const MultipartForm::Part* part = form.part(name);
        return part ? part->content : std::string();
    };
    const MultipartForm::Part* image = form.part("image");
    if (!image || image->file.empty() || image->size == 0)
        return refuse(res);

    const std::string access = field("access_type");
    if (form.part("access_type") && access != "public" && access != "private" &&
        access != "friends")
        return refuse(res);

    // Resolved last: album "-1" creates the unsorted album, which a refused upload must not.
    // Whether the album is the owner's is checked by the insert itself.
    std::optional<std::int64_t> albumId;
    const std::string album = field("album");
    if (album == "-1")
        albumId = db_.unsortedAlbumId(owner);
    else if (TextUtil::isDecimalId(album))
        albumId = std::stoll(album);
    if (!albumId)
        return refuse(res);

    PhotoRecord photo;
    photo.albumId = *albumId;
    // A name is shown on pages and written to logs: no line breaks or other controls.
    photo.fileName = TextUtil::withoutControls(image->filename);
    photo.access = access;
    photo.commentsDisabled = field("disable_comments") == "1";
    photo.adultsOnly = field("xxx") == "1";
    photo.originalHidden = field("hide_orig") == "1";
    photo.channel = field("pub_channel");
    photo.appPlatform = field("app_platform");
    photo.appVersion = field("app_version");
    photo.size = static_cast<std::int64_t>(image->size);

    // The bytes are on disk before the record, so a stored record has its file.
    const std::string temporary = form.takeFile("image");
    if (!flushed(temporary)) {
        photos_.discard(temporary);
        return cannotStore(res);
    }
    // Empty when the album is gone or someone else's by now (or on a storage failure).
    const std::optional<std::int64_t> id = photos_.store(db_, photo, owner, temporary);
    if (!id)
        return refuse(res);
    // The album may have been deleted after the insert, its files removed before this one
    // was placed; the record is gone then and so must the file be.
    if (!db_.photo(*id))
        photos_.remove(*id);
    res.status = 200;
    res.set_content("OK " + std::to_string(*id), "text/plain; charset=utf-8");
}
