#include "albumapi.h"

#include "atomformat.h"
#include "database.h"
#include "photofolder.h"
#include "textutil.h"
#include "zimptoken.h"

#include "webresponse.h"

namespace {

const char* const kAtomType = "application/atom+xml";

void answerAtom(WebResponse& res, int status, const std::string& document) {
    res.status = status;
    res.set_content(document, kAtomType);
}

// The album with this id when it belongs to the login.
std::optional<AlbumRecord> ownedAlbum(Database& db, const std::string& login,
                                      const std::string& albumId) {
    if (!TextUtil::isDecimalId(albumId))
        return std::nullopt;
    std::optional<AlbumRecord> album = db.album(std::stoll(albumId));
    if (!album || album->login != login)
        return std::nullopt;
    return album;
}

} // namespace

AlbumApi::Caller AlbumApi::caller(const WebRequest& req, const std::string& login) {
    const std::optional<std::string> token =
        ZimpToken::parse(req.get_header_value("Authorization"));
    if (!token)
        return Caller::Anonymous;
    const std::optional<std::string> owner = db_.tokenOwner(*token);
    if (!owner)
        return Caller::Anonymous;
    return *owner == login ? Caller::Owner : Caller::OtherAccount;
}

bool AlbumApi::admitOwner(const WebRequest& req, WebResponse& res, const std::string& login,
                          int anonymousStatus, int otherAccountStatus) {
    const auto refuse = [&res](int status) {
        TextUtil::answerText(res, status, status == 401 ? "Authorization required" : "Forbidden");
        return false;
    };
    switch (caller(req, login)) {
    case Caller::Anonymous:
        return refuse(anonymousStatus);
    case Caller::OtherAccount:
        return refuse(otherAccountStatus);
    case Caller::Owner:
        break;
    }
    return true;
}

void AlbumApi::list(const WebRequest& req, WebResponse& res, const std::string& login) {
    if (!admitOwner(req, res, login, 401, 403))
        return;
    answerAtom(res, 200, AtomFormat::feed(login, db_.albums(login)));
}

void AlbumApi::create(const WebRequest& req, WebResponse& res, const std::string& login,
                      const std::string& body) {
    if (!admitOwner(req, res, login, 403, 401))
        return;
    const std::optional<AtomFormat::EntryFields> fields = AtomFormat::parseEntry(body);
    if (!fields)
        return TextUtil::answerText(res, 400, "The body is not an Atom entry");
    const std::optional<AlbumRecord> album =
        db_.createAlbum(login, fields->title.value_or(""), fields->summary.value_or(""),
                        fields->password.value_or(""));
    if (!album)
        return TextUtil::answerText(res, 500, "Cannot store the album");
    answerAtom(res, 201, AtomFormat::entry(*album));
}

void AlbumApi::fetch(const WebRequest& req, WebResponse& res, const std::string& login,
                     const std::string& albumId) {
    if (!admitOwner(req, res, login, 401, 403))
        return;
    const std::optional<AlbumRecord> album = ownedAlbum(db_, login, albumId);
    if (!album)
        return TextUtil::answerText(res, 404, "No such album");
    answerAtom(res, 200, AtomFormat::entry(*album));
}

void AlbumApi::update(const WebRequest& req, WebResponse& res, const std::string& login,
                      const std::string& albumId, const std::string& body) {
    if (!admitOwner(req, res, login, 401, 403))
        return;
    const std::optional<AlbumRecord> album = ownedAlbum(db_, login, albumId);
    if (!album)
        return TextUtil::answerText(res, 404, "No such album");
    const std::optional<AtomFormat::EntryFields> fields = AtomFormat::parseEntry(body);
    if (!fields)
        return TextUtil::answerText(res, 400, "The body is not an Atom entry");
    if (!db_.updateAlbum(album->id, fields->title.value_or(album->title),
                         fields->summary.value_or(album->summary), fields->password))
        return TextUtil::answerText(res, 404, "No such album");
    const std::optional<AlbumRecord> changed = db_.album(album->id);
    if (!changed)
        return TextUtil::answerText(res, 404, "No such album");
    answerAtom(res, 200, AtomFormat::entry(*changed));
}

void AlbumApi::remove(const WebRequest& req, WebResponse& res, const std::string& login,
                      const std::string& albumId) {
    if (!admitOwner(req, res, login, 403, 403))
        return;
    const std::optional<AlbumRecord> album = ownedAlbum(db_, login, albumId);
    if (!album)
        return TextUtil::answerText(res, 404, "No such album");
    const std::optional<std::vector<std::int64_t>> photoIds = db_.deleteAlbum(album->id);
    if (!photoIds)
        return TextUtil::answerText(res, 404, "No such album");
    for (std::int64_t id : *photoIds)
        photos_.remove(id);
    res.status = 204;
}
