#include "webpages.h"

#include "cookies.h"
#include "database.h"
#include "photofolder.h"
#include "signinservice.h"
#include "textutil.h"

#include <QCryptographicHash>

#include <httplib.h>

namespace {

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           TextUtil::htmlEscape(title) + "</title>\n</head>\n<body>\n" + body +
           "</body>\n</html>\n";
}

void answerPage(httplib::Response& res, int status, const std::string& title,
                const std::string& body) {
    res.status = status;
    // Pages differ by visitor: no shared cache may keep them.
    res.set_header("Cache-Control", "private, no-store");
    res.set_content(page(title, body), "text/html; charset=utf-8");
}

void notFound(httplib::Response& res) {
    answerPage(res, 404, "Не найдено", "<h1>Страница не найдена</h1>\n");
}

void redirect(httplib::Response& res, const std::string& location) {
    res.status = 303;
    res.set_header("Location", location);
    res.set_header("Cache-Control", "no-store");
}

std::string accessText(const std::string& access) {
    if (access == "public")
        return "всем";
    if (access == "private")
        return "только мне";
    if (access == "friends")
        return "друзьям";
    return "по умолчанию";
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

// Equal texts, compared in time independent of where they differ.
bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string field(const RequestContext& context, const char* name) {
    return QueryString::value(QueryString::parse(context.body), name).value_or("");
}

} // namespace

void WebPages::configure(bool secureCookies, bool openPages, std::int64_t cookieSeconds) {
    secureCookies_ = secureCookies;
    openPages_ = openPages;
    cookieSeconds_ = cookieSeconds;
}

std::optional<std::string> WebPages::visitor(const RequestContext& context) {
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    const auto session = cookies.find(kSessionCookie);
    if (session == cookies.end() || session->second.empty())
        return std::nullopt;
    return db_.tokenOwner(session->second);
}

std::string WebPages::albumKey(const AlbumRecord& album) {
    const std::string input =
        db_.siteSecret() + ":" + std::to_string(album.id) + ":" + album.password;
    return QCryptographicHash::hash(QByteArray(input.data(), static_cast<qsizetype>(input.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

bool WebPages::holdsAlbumKey(const RequestContext& context, const AlbumRecord& album) {
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    const auto key = cookies.find("pikto_album_" + std::to_string(album.id));
    return key != cookies.end() && sameText(key->second, albumKey(album));
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

std::string WebPages::photoAddress(const PhotoRecord& photo) const {
    if (openPages_)
        return "/photos/" + std::to_string(photo.id) + ".jpg";
    return "/photos/" + std::to_string(photo.id) + "-" + photo.secret + ".jpg";
}

void WebPages::home(RequestContext& context) {
    answerPage(context.res, 200, "Оврана.Пикто",
               "<h1>Оврана.Пикто</h1>\n<p>Фотографии и альбомы.</p>\n"
               "<p><a href=\"/passport/signin/\">Войти</a> · "
               "<a href=\"/passport/?mode=register\">Зарегистрироваться</a> · "
               "<a href=\"/passport/?mode=remember\">Забыли пароль?</a></p>\n");
}

void WebPages::passport(RequestContext& context) {
    const std::string mode = QueryString::value(context.query, "mode").value_or("");
    if (mode == "register") {
        return answerPage(context.res, 200, "Регистрация",
                          "<h1>Регистрация</h1>\n<form method=\"post\" action=\"/passport/\">\n"
                          "<p><label>Логин <input name=\"login\"></label></p>\n"
                          "<p><label>Пароль <input name=\"password\" type=\"password\"></label>"
                          "</p>\n<p><button>Зарегистрироваться</button></p>\n</form>\n");
    }
    if (mode == "remember") {
        return answerPage(context.res, 200, "Напоминание пароля",
                          "<h1>Напоминание пароля</h1>\n<form method=\"post\" "
                          "action=\"/passport/\">\n<p><label>Логин или почта "
                          "<input name=\"login\"></label></p>\n"
                          "<p><button>Напомнить</button></p>\n</form>\n");
    }
    answerPage(context.res, 200, "Паспорт",
               "<h1>Паспорт</h1>\n<ul>\n<li><a href=\"/passport/signin/\">Вход</a></li>\n"
               "<li><a href=\"/passport/?mode=register\">Регистрация</a></li>\n"
               "<li><a href=\"/passport/?mode=remember\">Напоминание пароля</a></li>\n</ul>\n");
}

void WebPages::answerSignInForm(RequestContext& context, int status, const std::string& message) {
    const std::string back =
        localPath(QueryString::value(context.query, "back").value_or(field(context, "back")));
    std::string body = "<h1>Вход</h1>\n";
    if (!message.empty())
        body += "<p class=\"error\">" + TextUtil::htmlEscape(message) + "</p>\n";
    body += "<form method=\"post\" action=\"/passport/signin/\">\n"
            "<input type=\"hidden\" name=\"back\" value=\"" +
            TextUtil::htmlEscape(back) +
            "\">\n<p><label>Логин <input name=\"login\"></label></p>\n"
            "<p><label>Пароль <input name=\"password\" type=\"password\"></label></p>\n"
            "<p><button>Войти</button></p>\n</form>\n";
    answerPage(context.res, status, "Вход", body);
}

void WebPages::signInForm(RequestContext& context) {
    answerSignInForm(context, 200, {});
}

void WebPages::signIn(RequestContext& context) {
    const QueryString::Fields fields = QueryString::parse(context.body);
    const std::string login = QueryString::value(fields, "login").value_or("");
    const std::string password = QueryString::value(fields, "password").value_or("");
    if (!signIn_.admitAttempt("login:" + login, context.req.remote_addr))
        return answerSignInForm(context, 429, "Слишком много попыток входа. Подождите минуту.");
    if (login.empty() || !db_.checkPassword(login, password))
        return answerSignInForm(context, 403, "Неверный логин или пароль.");
    const std::string session = TextUtil::randomHex(20);
    if (session.empty() || !db_.addToken(session, login))
        return answerPage(context.res, 500, "Ошибка", "<h1>Не удалось войти</h1>\n");
    context.res.set_header(
        "Set-Cookie", Cookies::setCookie(kSessionCookie, session, cookieSeconds_, secureCookies_));
    redirect(context.res, localPath(QueryString::value(fields, "back").value_or("/")));
}

void WebPages::signOut(RequestContext& context) {
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    if (const auto session = cookies.find(kSessionCookie); session != cookies.end())
        db_.removeToken(session->second);
    context.res.set_header("Set-Cookie", Cookies::setCookie(kSessionCookie, "", 0, secureCookies_));
    redirect(context.res, "/");
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

void WebPages::askAlbumPassword(RequestContext& context, int status, const std::string& message) {
    std::string body = "<h1>Альбом защищён паролем</h1>\n";
    if (!message.empty())
        body += "<p class=\"error\">" + TextUtil::htmlEscape(message) + "</p>\n";
    body += "<form method=\"post\" class=\"album-password\" action=\"" +
            TextUtil::htmlEscape(context.req.path) +
            "\">\n<p><label>Пароль альбома <input name=\"password\" type=\"password\"></label>"
            "</p>\n<p><button>Открыть</button></p>\n</form>\n"
            "<p>Это ваш альбом? <a href=\"/passport/signin/?back=" +
            TextUtil::htmlEscape(QueryString::encode(context.req.path)) + "\">Войдите</a>.</p>\n";
    answerPage(context.res, status, "Альбом защищён паролем", body);
}

void WebPages::album(RequestContext& context) {
    const std::optional<AlbumRecord> album = requestedAlbum(context);
    if (!album)
        return notFound(context.res);
    const std::optional<std::string> login = visitor(context);
    if (!mayOpen(context, *album, login))
        return askAlbumPassword(context, 403, {});

    std::string items;
    std::int64_t shown = 0;
    for (const PhotoRecord& photo : db_.photos(album->id)) {
        if (!maySee(photo, *album, login))
            continue;
        ++shown;
        const std::string id = std::to_string(photo.id);
        const std::string name = TextUtil::htmlEscape(TextUtil::validUtf8(photo.fileName));
        items += "<li class=\"photo\" id=\"photo-" + id + "\"><img src=\"" + photoAddress(photo) +
                 "\" alt=\"" + name + "\"> <span class=\"name\">" + name +
                 "</span> <span class=\"access\" data-access=\"" +
                 TextUtil::htmlEscape(photo.access) + "\">" + accessText(photo.access) + "</span>";
        if (photo.commentsDisabled)
            items += " <span class=\"flag\" data-flag=\"disable_comments\">без комментариев</span>";
        if (photo.adultsOnly)
            items += " <span class=\"flag\" data-flag=\"xxx\">18+</span>";
        if (photo.originalHidden)
            items += " <span class=\"flag\" data-flag=\"hide_orig\">оригинал скрыт</span>";
        items += " <span class=\"size\">" + std::to_string(photo.size) + " байт</span></li>\n";
    }
    const std::string owner = TextUtil::htmlEscape(TextUtil::validUtf8(album->login));
    std::string body = "<h1 class=\"album-title\">" +
                       TextUtil::htmlEscape(TextUtil::validUtf8(album->title)) +
                       "</h1>\n<p class=\"album-summary\">" +
                       TextUtil::htmlEscape(TextUtil::validUtf8(album->summary)) +
                       "</p>\n<p>Автор: " + owner + ". Фотографий: " + std::to_string(shown) + ".";
    if (!album->password.empty())
        body += " Альбом защищён паролем.";
    body += "</p>\n";
    if (login)
        body += "<form method=\"post\" action=\"/passport/signout/\"><p>Вы вошли как " +
                TextUtil::htmlEscape(TextUtil::validUtf8(*login)) +
                ". <button>Выйти</button></p></form>\n";
    else if (!openPages_)
        body += "<p><a href=\"/passport/signin/?back=" +
                TextUtil::htmlEscape(QueryString::encode(context.req.path)) +
                "\">Войти</a>, чтобы видеть свои фотографии для друзей и личные.</p>\n";
    body += "<ul class=\"photos\">\n" + items + "</ul>\n";
    answerPage(context.res, 200,
               album->title.empty() ? "Альбом" : TextUtil::validUtf8(album->title), body);
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
        return notFound(context.res);
    const std::string shown = TextUtil::htmlEscape(TextUtil::validUtf8(login));
    std::string body = "<h1 class=\"blog\">Блог " + shown + "</h1>\n<ul class=\"albums\">\n";
    for (const AlbumRecord& album : db_.albums(login)) {
        const std::string path =
            "/users/" + QueryString::encode(login) + "/album/" + std::to_string(album.id) + "/";
        body += "<li><a href=\"" + TextUtil::htmlEscape(path) + "\">" +
                TextUtil::htmlEscape(
                    TextUtil::validUtf8(album.title.empty() ? "Альбом" : album.title)) +
                "</a>";
        if (!album.password.empty())
            body += " (защищён паролем)";
        body += "</li>\n";
    }
    body += "</ul>\n";
    answerPage(context.res, 200, "Блог " + TextUtil::validUtf8(login), body);
}

void WebPages::unlockAlbum(RequestContext& context) {
    const std::optional<AlbumRecord> album = requestedAlbum(context);
    if (!album)
        return notFound(context.res);
    if (album->password.empty())
        return redirect(context.res, context.req.path);
    if (!signIn_.admitAttempt("album:" + std::to_string(album->id), context.req.remote_addr))
        return askAlbumPassword(context, 429, "Слишком много попыток. Подождите минуту.");
    if (!sameText(field(context, "password"), album->password))
        return askAlbumPassword(context, 403, "Неверный пароль.");
    context.res.set_header("Set-Cookie",
                           Cookies::setCookie("pikto_album_" + std::to_string(album->id),
                                              albumKey(*album), cookieSeconds_, secureCookies_));
    redirect(context.res, context.req.path);
}

void WebPages::photo(RequestContext& context) {
    const std::string file = context.param("file");
    const std::string suffix = ".jpg";
    if (file.size() <= suffix.size() || !TextUtil::endsWith(file, suffix))
        return notFound(context.res);
    const std::string stem = file.substr(0, file.size() - suffix.size());
    const std::size_t dash = stem.find('-');
    const std::string id = stem.substr(0, dash);
    const std::string secret = dash == std::string::npos ? std::string() : stem.substr(dash + 1);
    if (!TextUtil::isDecimalId(id) || (secret.empty() && !openPages_))
        return notFound(context.res);
    const std::optional<PhotoRecord> photo = db_.photo(std::stoll(id));
    if (!photo || (!secret.empty() && !sameText(secret, photo->secret)))
        return notFound(context.res);
    const std::optional<AlbumRecord> album = db_.album(photo->albumId);
    if (!album)
        return notFound(context.res);
    const std::optional<std::string> login = visitor(context);
    if (!mayOpen(context, *album, login) || !maySee(*photo, *album, login))
        return notFound(context.res);
    std::optional<std::string> bytes = photos_.read(photo->id);
    if (!bytes)
        return notFound(context.res);
    context.res.status = 200;
    context.res.set_header("Cache-Control", "private");
    context.res.set_content(std::move(*bytes), "image/jpeg");
}
