#include "webpages.h"

#include "cookies.h"
#include "database.h"
#include "photofolder.h"
#include "signinservice.h"
#include "sitesession.h"
#include "textutil.h"

#include <QCryptographicHash>
#include <QFile>

#include "webresponse.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kHomeAlbums = 12;
// Photos on one page of an album.
constexpr std::int64_t kPhotosPerPage = 100;

void redirect(WebResponse& res, const std::string& location) {
    res.status = 303;
    res.set_header("Location", location);
    res.set_header("Cache-Control", "no-store");
}

// A path of this site to go back to: starts with one "/", holds no line break or backslash.
std::string localPath(const std::string& back) {
    if (back.empty() || back[0] != '/' || (back.size() > 1 && back[1] == '/'))
        return "/";
    for (char c : back) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "/";
    }
    return back;
}

std::string field(const RequestContext& context, const char* name) {
    return QueryString::value(QueryString::parse(context.body), name).value_or("");
}

std::string shown(const std::string& text) {
    return TextUtil::validUtf8(text);
}

std::string userPath(const std::string& login) {
    return "/users/" + QueryString::encode(login) + "/";
}

std::string albumPath(const AlbumRecord& album) {
    return userPath(album.login) + "album/" + std::to_string(album.id) + "/";
}

std::string photoPagePath(const AlbumRecord& album, std::int64_t photoId) {
    return albumPath(album) + "photo/" + std::to_string(photoId) + "/";
}

std::string albumPagePath(const AlbumRecord& album, std::int64_t page) {
    return page == 1 ? albumPath(album) : albumPath(album) + "?page=" + std::to_string(page);
}

std::string albumTitle(const RequestContext& context, const AlbumRecord& album) {
    return album.title.empty() ? PageRenderer::text(context, "album_default_title")
                               : shown(album.title);
}

// "734 байт", "12,5 КБ", "3,2 МБ".
std::string sizeText(const RequestContext& context, std::int64_t bytes) {
    const auto unit = [&](const char* key) { return " " + PageRenderer::text(context, key); };
    if (bytes < 1024)
        return std::to_string(bytes) + unit("bytes");
    const bool mega = bytes >= 1024 * 1024;
    const double value = static_cast<double>(bytes) / (mega ? 1024.0 * 1024.0 : 1024.0);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.1f", value);
    std::string text = digits;
    text.replace(text.find('.'), 1, PageRenderer::text(context, "decimal_point"));
    return text + unit(mega ? "megabytes" : "kilobytes");
}

} // namespace

void WebPages::configure(bool secureCookies, bool openPages, std::int64_t cookieSeconds) {
    secureCookies_ = secureCookies;
    openPages_ = openPages;
    cookieSeconds_ = cookieSeconds;
    csrf_.configure(secureCookies, cookieSeconds);
    renderer_.configure(&csrf_, secureCookies);
}

std::string WebPages::albumKey(const AlbumRecord& album) {
    const std::string input = db_.siteSecret() + ":" + std::to_string(album.id) + ":" +
                              std::to_string(album.passwordChanges) + ":" + album.password;
    return QCryptographicHash::hash(QByteArray(input.data(), static_cast<qsizetype>(input.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

bool WebPages::holdsAlbumKey(const RequestContext& context, const AlbumRecord& album) {
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    const auto key = cookies.find("pikto_album_" + std::to_string(album.id));
    return key != cookies.end() && TextUtil::sameText(key->second, albumKey(album));
}

bool WebPages::mayOpen(const RequestContext& context, const AlbumRecord& album,
                       const std::optional<std::string>& login) {
    return openPages_ || album.password.empty() || login == album.login ||
           holdsAlbumKey(context, album);
}

bool WebPages::maySee(const PhotoRecord& photo, const AlbumRecord& album,
                      const std::optional<std::string>& login) const {
    return openPages_ || login == album.login || photo.access == "public";
}

bool WebPages::mayHaveOriginal(const PhotoRecord& photo, const AlbumRecord& album,
                               const std::optional<std::string>& login) const {
    return !photo.originalHidden || login == album.login || openPages_;
}

bool WebPages::seesOnlyPublic(const AlbumRecord& album,
                              const std::optional<std::string>& login) const {
    return !openPages_ && login != album.login; // as maySee
}

std::string WebPages::photoStem(const PhotoRecord& photo) const {
    if (openPages_)
        return "/photos/" + std::to_string(photo.id);
    return "/photos/" + std::to_string(photo.id) + "-" + photo.secret;
}

std::string WebPages::photoAddress(const PhotoRecord& photo) const {
    return photoStem(photo) + ".jpg";
}

void WebPages::notFound(RequestContext& context, const std::optional<std::string>& login) {
    renderer_.answerMessage(context, 404, "not_found", "not_found_text", login);
}

PageRenderer::Data WebPages::card(const RequestContext& context,
                                  const Database::AlbumSummary& summary, bool locked,
                                  bool withAuthor) {
    const AlbumRecord& album = summary.album;
    PageRenderer::Data card;
    card.set("href", albumPath(album));
    card.set("title", albumTitle(context, album));
    card.set("author", shown(album.login));
    card.set("with_author", withAuthor);
    card.set("author_href", userPath(album.login));
    card.set("locked", locked);
    PageRenderer::setOptional(card, "cover",
                              locked || !summary.cover ? std::string()
                                                       : photoStem(*summary.cover) + "/thumb.jpg");
    card.set("count", std::to_string(locked ? 0 : summary.shownCount));
    return card;
}

void WebPages::describe(const RequestContext& context, const PhotoRecord& photo,
                        PageRenderer::Data& values) {
    const bool known =
        photo.access == "public" || photo.access == "friends" || photo.access == "private";
    values.set("access", photo.access);
    values.set("access_text",
               PageRenderer::text(context, known ? "access_" + photo.access : "access_default"));
    PageRenderer::Data flags = PageRenderer::Data::type::list;
    const auto flag = [&](bool on, const std::string& key) {
        if (!on)
            return;
        PageRenderer::Data item;
        item.set("key", key);
        item.set("text", PageRenderer::text(context, "flag_" + key));
        flags.push_back(item);
    };
    flag(photo.commentsDisabled, "disable_comments");
    flag(photo.adultsOnly, "xxx");
    flag(photo.originalHidden, "hide_orig");
    values.set("has_flags", !flags.is_empty_list());
    values.set("flags", flags);
}

void WebPages::home(RequestContext& context) {
    const std::optional<std::string> login = SiteSession::visitor(db_, context);
    PageRenderer::Data albums = PageRenderer::Data::type::list;
    // These albums have no password: anyone may open them.
    for (const AlbumRecord& album : db_.newestPublicAlbums(kHomeAlbums)) {
        if (const auto summary = db_.albumSummary(album.id, seesOnlyPublic(album, std::nullopt)))
            albums.push_back(card(context, *summary, false, true));
    }
    PageRenderer::Data values;
    values.set("has_albums", !albums.is_empty_list());
    values.set("albums", albums);
    renderer_.answer(context, 200, "home", PageRenderer::text(context, "site_name"),
                     std::move(values), login);
}

void WebPages::answerSignInForm(RequestContext& context, int status,
                                const std::string& messageKey) {
    PageRenderer::Data values;
    values.set(
        "return_to",
        localPath(QueryString::value(context.query, "back").value_or(field(context, "back"))));
    // A refused sign-in keeps the login typed, never the password.
    values.set("login", shown(field(context, "login")));
    if (!messageKey.empty())
        PageRenderer::setOptional(values, "error", PageRenderer::text(context, messageKey));
    values.set("csrf", csrf_.fieldFor(context));
    renderer_.answer(context, status, "signin", PageRenderer::text(context, "sign_in_heading"),
                     std::move(values), std::nullopt);
}

void WebPages::signInForm(RequestContext& context) {
    answerSignInForm(context, 200, {});
}

void WebPages::signIn(RequestContext& context) {
    const QueryString::Fields fields = QueryString::parse(context.body);
    const std::string login = QueryString::value(fields, "login").value_or("");
    const std::string password = QueryString::value(fields, "password").value_or("");
    if (!csrf_.check(context))
        return answerSignInForm(context, 403, "form_expired");
    SignInService::Clock::duration retryAfter{};
    switch (signIn_.checkPassword(
        "login:" + login, context.req.remote_addr,
        [&] { return !login.empty() && db_.checkPassword(login, password); }, retryAfter)) {
    case SignInService::Check::Refused:
        context.res.set_header("Retry-After", std::to_string(SignInService::secondsOf(retryAfter)));
        return answerSignInForm(context, 429, "too_many_attempts");
    case SignInService::Check::Wrong:
        return answerSignInForm(context, 403, "wrong_password");
    case SignInService::Check::Accepted:
        break;
    }
    const std::string session = TextUtil::randomHex(20);
    if (session.empty() || !db_.addToken(session, login))
        return answerSignInForm(context, 500, "sign_in_failed");
    context.res.set_header("Set-Cookie", Cookies::setCookie(SiteSession::kCookie, session,
                                                            cookieSeconds_, secureCookies_));
    redirect(context.res, localPath(QueryString::value(fields, "back").value_or("/")));
}

void WebPages::signOut(RequestContext& context) {
    if (!csrf_.check(context))
        return renderer_.answerMessage(context, 403, "form_expired_heading", "form_expired",
                                       SiteSession::visitor(db_, context));
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    if (const auto session = cookies.find(SiteSession::kCookie); session != cookies.end())
        db_.removeToken(session->second);
    context.res.set_header("Set-Cookie",
                           Cookies::setCookie(SiteSession::kCookie, "", 0, secureCookies_));
    redirect(context.res, "/");
}

void WebPages::user(RequestContext& context) {
    const std::optional<std::string> login = SiteSession::visitor(db_, context);
    const std::string owner = context.param("login");
    if (!db_.userExists(owner))
        return notFound(context, login);
    const bool own = login == owner;
    PageRenderer::Data albums = PageRenderer::Data::type::list;
    AlbumRecord owned;
    owned.login = owner;
    for (const Database::AlbumSummary& summary :
         db_.albumSummaries(owner, seesOnlyPublic(owned, login))) {
        const AlbumRecord& album = summary.album;
        const bool locked = !mayOpen(context, album, login);
        // Others are not shown albums that hold nothing they may see.
        if (own || openPages_ || !album.password.empty() || (!locked && summary.shownCount > 0))
            albums.push_back(card(context, summary, locked, false));
    }
    PageRenderer::Data values;
    values.set("login", shown(owner));
    values.set("own", own);
    values.set("has_albums", !albums.is_empty_list());
    values.set("albums", albums);
    renderer_.answer(context, 200, "user", shown(owner), std::move(values), login);
}

std::optional<AlbumRecord> WebPages::requestedAlbum(const RequestContext& context) {
    const std::string albumId = context.param("id");
    if (!TextUtil::isDecimalId(albumId))
        return std::nullopt;
    std::optional<AlbumRecord> album = db_.album(std::stoll(albumId));
    if (!album || album->login != context.param("login"))
        return std::nullopt;
    return album;
}

void WebPages::askAlbumPassword(RequestContext& context, int status,
                                const std::string& messageKey) {
    PageRenderer::Data values;
    values.set("action", context.req.path);
    values.set("csrf", csrf_.fieldFor(context));
    if (!messageKey.empty())
        PageRenderer::setOptional(values, "error", PageRenderer::text(context, messageKey));
    renderer_.answer(context, status, "albumpassword", PageRenderer::text(context, "album_locked"),
                     std::move(values), SiteSession::visitor(db_, context));
}

void WebPages::album(RequestContext& context) {
    const std::optional<std::string> login = SiteSession::visitor(db_, context);
    const std::optional<AlbumRecord> album = requestedAlbum(context);
    if (!album)
        return notFound(context, login);
    if (!mayOpen(context, *album, login))
        return askAlbumPassword(context, 403, {});

    // Pages of kPhotosPerPage, newest first; a page number that is none shows the first page,
    // one past the end the last.
    const bool onlyPublic = seesOnlyPublic(*album, login);
    const std::int64_t count = db_.photoCount(album->id, onlyPublic);
    const std::int64_t pages =
        std::max<std::int64_t>(1, (count + kPhotosPerPage - 1) / kPhotosPerPage);
    const std::string pageText = QueryString::value(context.query, "page").value_or("1");
    std::int64_t page = 1;
    if (TextUtil::isDecimalId(pageText) && pageText.size() <= 9)
        page = std::clamp<std::int64_t>(std::stoll(pageText), 1, pages);
    PageRenderer::Data photos = PageRenderer::Data::type::list;
    const std::vector<PhotoRecord> visible =
        db_.albumPage(album->id, onlyPublic, (page - 1) * kPhotosPerPage, kPhotosPerPage);
    for (const PhotoRecord& photo : visible) {
        PageRenderer::Data tile;
        tile.set("id", std::to_string(photo.id));
        tile.set("name", shown(photo.fileName));
        tile.set("page", photoPagePath(*album, photo.id));
        tile.set("thumb", photoStem(photo) + "/thumb.jpg");
        describe(context, photo, tile);
        photos.push_back(tile);
    }
    PageRenderer::Data values;
    values.set("album_title", albumTitle(context, *album));
    PageRenderer::setOptional(values, "summary", shown(album->summary));
    values.set("author", shown(album->login));
    values.set("author_href", userPath(album->login));
    values.set("count", std::to_string(count));
    values.set("has_pages", pages > 1);
    values.set("page", std::to_string(page));
    values.set("pages", std::to_string(pages));
    PageRenderer::setOptional(values, "newer_page",
                              page > 1 ? albumPagePath(*album, page - 1) : std::string());
    PageRenderer::setOptional(values, "older_page",
                              page < pages ? albumPagePath(*album, page + 1) : std::string());
    values.set("locked", !album->password.empty());
    values.set("may_sign_in", !openPages_);
    values.set("has_photos", !visible.empty());
    values.set("photos", photos);
    renderer_.answer(context, 200, "album", albumTitle(context, *album), std::move(values), login);
}

void WebPages::photoPage(RequestContext& context) {
    const std::optional<std::string> login = SiteSession::visitor(db_, context);
    const std::optional<AlbumRecord> album = requestedAlbum(context);
    const std::string photoId = context.param("photo");
    if (!album || !TextUtil::isDecimalId(photoId))
        return notFound(context, login);
    if (!mayOpen(context, *album, login))
        return askAlbumPassword(context, 403, {});
    const std::optional<PhotoRecord> found = db_.photo(std::stoll(photoId));
    if (!found || found->albumId != album->id || !maySee(*found, *album, login))
        return notFound(context, login);
    const PhotoRecord& photo = *found;
    const std::optional<Database::PhotoPlace> place =
        db_.photoPlace(album->id, photo.id, seesOnlyPublic(*album, login));
    if (!place)
        return notFound(context, login);
    PageRenderer::Data values;
    values.set("name", shown(photo.fileName));
    values.set("album_title", albumTitle(context, *album));
    values.set("album_href", albumPath(*album));
    values.set("author", shown(album->login));
    values.set("author_href", userPath(album->login));
    values.set("screen", photoStem(photo) + "/screen.jpg");
    values.set("size_text", sizeText(context, photo.size));
    values.set("position", std::to_string(place->position));
    values.set("count", std::to_string(place->count));
    PageRenderer::setOptional(values, "previous",
                              place->newer ? photoPagePath(*album, *place->newer) : std::string());
    PageRenderer::setOptional(values, "next",
                              place->older ? photoPagePath(*album, *place->older) : std::string());
    PageRenderer::setOptional(values, "original",
                              mayHaveOriginal(photo, *album, login) ? photoAddress(photo)
                                                                    : std::string());
    describe(context, photo, values);
    renderer_.answer(context, 200, "photo", shown(photo.fileName), std::move(values), login);
}

std::string WebPages::blogLogin(const std::string& host) {
    if (host.empty() || host[0] == '[')
        return {}; // an IPv6 address
    const std::string name =
        host.substr(0, host.rfind(':') == std::string::npos ? host.size() : host.rfind(':'));
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return {};
    if (name.find_first_not_of("0123456789.") == std::string::npos)
        return {}; // an IPv4 address
    return name.substr(0, dot);
}

void WebPages::blog(RequestContext& context) {
    const std::string login = blogLogin(context.req.get_header_value("Host"));
    if (login.empty() || !db_.userExists(login))
        return notFound(context, SiteSession::visitor(db_, context));
    redirect(context.res, userPath(login));
}

void WebPages::unlockAlbum(RequestContext& context) {
    const std::optional<AlbumRecord> album = requestedAlbum(context);
    if (!album)
        return notFound(context, SiteSession::visitor(db_, context));
    if (album->password.empty())
        return redirect(context.res, context.req.path);
    if (!csrf_.check(context))
        return askAlbumPassword(context, 403, "form_expired");
    SignInService::Clock::duration retryAfter{};
    switch (signIn_.checkPassword(
        "album:" + std::to_string(album->id), context.req.remote_addr,
        [&] { return TextUtil::sameText(field(context, "password"), album->password); },
        retryAfter)) {
    case SignInService::Check::Refused:
        context.res.set_header("Retry-After", std::to_string(SignInService::secondsOf(retryAfter)));
        return askAlbumPassword(context, 429, "too_many_attempts");
    case SignInService::Check::Wrong:
        return askAlbumPassword(context, 403, "wrong_album_password");
    case SignInService::Check::Accepted:
        break;
    }
    context.res.set_header("Set-Cookie",
                           Cookies::setCookie("pikto_album_" + std::to_string(album->id),
                                              albumKey(*album), cookieSeconds_, secureCookies_));
    redirect(context.res, context.req.path);
}

std::optional<WebPages::Addressed>
WebPages::addressedPhoto(const RequestContext& context, const std::string& stem,
                         const std::optional<std::string>& login) {
    const std::size_t dash = stem.find('-');
    const std::string id = stem.substr(0, dash);
    const std::string secret = dash == std::string::npos ? std::string() : stem.substr(dash + 1);
    if (!TextUtil::isDecimalId(id) || (secret.empty() && !openPages_))
        return std::nullopt;
    std::optional<PhotoRecord> photo = db_.photo(std::stoll(id));
    if (!photo || (!secret.empty() && !TextUtil::sameText(secret, photo->secret)))
        return std::nullopt;
    std::optional<AlbumRecord> album = db_.album(photo->albumId);
    if (!album || !mayOpen(context, *album, login) || !maySee(*photo, *album, login))
        return std::nullopt;
    return Addressed{std::move(*photo), std::move(*album)};
}

void WebPages::photo(RequestContext& context) {
    const std::string file = context.param("file");
    const std::string suffix = ".jpg";
    const std::optional<std::string> login = SiteSession::visitor(db_, context);
    if (file.size() <= suffix.size() || !TextUtil::endsWith(file, suffix))
        return notFound(context, login);
    const std::optional<Addressed> found =
        addressedPhoto(context, file.substr(0, file.size() - suffix.size()), login);
    if (!found || !mayHaveOriginal(found->photo, found->album, login))
        return notFound(context, login);
    std::optional<std::string> bytes = photos_.read(found->photo.id);
    if (!bytes)
        return notFound(context, login);
    context.res.status = 200;
    context.res.set_header("Cache-Control", "private");
    context.res.set_content(std::move(*bytes), "image/jpeg");
}

void WebPages::scaledPhoto(RequestContext& context) {
    const std::string size = context.param("size");
    const std::optional<std::string> login = SiteSession::visitor(db_, context);
    if (size != "thumb.jpg" && size != "screen.jpg")
        return notFound(context, login);
    const std::optional<Addressed> found = addressedPhoto(context, context.param("file"), login);
    if (!found)
        return notFound(context, login);
    const Thumbnailer::Result scaled =
        thumbnails_.derivative(found->photo.id, size == "thumb.jpg" ? Thumbnailer::Size::Thumb
                                                                    : Thumbnailer::Size::Screen);
    switch (scaled.kind) {
    case Thumbnailer::Result::Kind::Image: {
        QFile file(QString::fromStdString(scaled.path));
        if (!file.open(QIODevice::ReadOnly))
            break;
        const QByteArray bytes = file.readAll();
        context.res.status = 200;
        // The address changes with the photo: a copy may be kept.
        context.res.set_header("Cache-Control", "private, max-age=86400");
        context.res.set_content(bytes.constData(), static_cast<std::size_t>(bytes.size()),
                                "image/jpeg");
        return;
    }
    case Thumbnailer::Result::Kind::NotAnImage:
        return answerAsset(context, "placeholder.svg");
    case Thumbnailer::Result::Kind::Missing:
        return notFound(context, login);
    case Thumbnailer::Result::Kind::Failed:
        break;
    }
    context.res.status = 503;
    context.res.set_header("Retry-After", "5");
    context.res.set_content("The picture could not be made; try again.", "text/plain");
}

void WebPages::asset(RequestContext& context) {
    answerAsset(context, context.param("file"));
}

void WebPages::answerAsset(RequestContext& context, const std::string& name) {
    const char* type = TextUtil::endsWith(name, ".css")   ? "text/css; charset=utf-8"
                       : TextUtil::endsWith(name, ".svg") ? "image/svg+xml"
                                                          : nullptr;
    // Only the files of the site's own folder: a name with a path in it matches none.
    QFile file(QStringLiteral(":/site/") + QString::fromStdString(name));
    if (!type || name.find('/') != std::string::npos || !file.open(QIODevice::ReadOnly))
        return notFound(context, std::nullopt);
    const QByteArray bytes = file.readAll();
    context.res.status = 200;
    context.res.set_header("Cache-Control", "public, max-age=3600");
    context.res.set_content(bytes.constData(), static_cast<std::size_t>(bytes.size()), type);
}
