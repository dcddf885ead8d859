#include "webpages.h"

#include "database.h"
#include "photofolder.h"
#include "textutil.h"

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
    res.set_content(page(title, body), "text/html; charset=utf-8");
}

void notFound(httplib::Response& res) {
    answerPage(res, 404, "Не найдено", "<h1>Страница не найдена</h1>\n");
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

} // namespace

void WebPages::home(httplib::Response& res) {
    answerPage(res, 200, "Оврана.Пикто",
               "<h1>Оврана.Пикто</h1>\n<p>Фотографии и альбомы.</p>\n"
               "<p><a href=\"/passport/?mode=register\">Зарегистрироваться</a> · "
               "<a href=\"/passport/?mode=remember\">Забыли пароль?</a></p>\n");
}

void WebPages::passport(const httplib::Request& req, httplib::Response& res) {
    const std::string mode = req.get_param_value("mode");
    if (mode == "register") {
        return answerPage(res, 200, "Регистрация",
                          "<h1>Регистрация</h1>\n<form method=\"post\" action=\"/passport/\">\n"
                          "<p><label>Логин <input name=\"login\"></label></p>\n"
                          "<p><label>Пароль <input name=\"password\" type=\"password\"></label>"
                          "</p>\n<p><button>Зарегистрироваться</button></p>\n</form>\n");
    }
    if (mode == "remember") {
        return answerPage(res, 200, "Напоминание пароля",
                          "<h1>Напоминание пароля</h1>\n<form method=\"post\" "
                          "action=\"/passport/\">\n<p><label>Логин или почта "
                          "<input name=\"login\"></label></p>\n"
                          "<p><button>Напомнить</button></p>\n</form>\n");
    }
    answerPage(res, 200, "Паспорт",
               "<h1>Паспорт</h1>\n<ul>\n<li><a href=\"/passport/?mode=register\">"
               "Регистрация</a></li>\n<li><a href=\"/passport/?mode=remember\">"
               "Напоминание пароля</a></li>\n</ul>\n");
}

void WebPages::album(httplib::Response& res, const std::string& login, const std::string& albumId) {
    if (!TextUtil::isDecimalId(albumId))
        return notFound(res);
    const std::optional<AlbumRecord> album = db_.album(std::stoll(albumId));
    if (!album || album->login != login)
        return notFound(res);

    std::string body = "<h1 class=\"album-title\">" + TextUtil::htmlEscape(album->title) +
                       "</h1>\n<p class=\"album-summary\">" + TextUtil::htmlEscape(album->summary) +
                       "</p>\n<p>Автор: " + TextUtil::htmlEscape(login) +
                       ". Фотографий: " + std::to_string(album->imageCount) + ".";
    if (!album->password.empty())
        body += " Альбом защищён паролем.";
    body += "</p>\n<ul class=\"photos\">\n";
    for (const PhotoRecord& photo : db_.photos(album->id)) {
        const std::string id = std::to_string(photo.id);
        body += "<li class=\"photo\" id=\"photo-" + id + "\"><img src=\"/photos/" + id +
                ".jpg\" alt=\"" + TextUtil::htmlEscape(photo.fileName) +
                "\"> <span class=\"name\">" + TextUtil::htmlEscape(photo.fileName) +
                "</span> <span class=\"access\" data-access=\"" +
                TextUtil::htmlEscape(photo.access) + "\">" + accessText(photo.access) + "</span>";
        if (photo.commentsDisabled)
            body += " <span class=\"flag\" data-flag=\"disable_comments\">без комментариев</span>";
        if (photo.adultsOnly)
            body += " <span class=\"flag\" data-flag=\"xxx\">18+</span>";
        if (photo.originalHidden)
            body += " <span class=\"flag\" data-flag=\"hide_orig\">оригинал скрыт</span>";
        body += " <span class=\"size\">" + std::to_string(photo.size) + " байт</span></li>\n";
    }
    body += "</ul>\n";
    answerPage(res, 200, album->title.empty() ? "Альбом" : album->title, body);
}

void WebPages::photo(httplib::Response& res, const std::string& fileName) {
    const std::string suffix = ".jpg";
    if (fileName.size() <= suffix.size() || !TextUtil::endsWith(fileName, suffix))
        return notFound(res);
    const std::string id = fileName.substr(0, fileName.size() - suffix.size());
    if (!TextUtil::isDecimalId(id) || !db_.photo(std::stoll(id)))
        return notFound(res);
    std::optional<std::string> bytes = photos_.read(std::stoll(id));
    if (!bytes)
        return notFound(res);
    res.status = 200;
    res.set_content(std::move(*bytes), "image/jpeg");
}
