#include "servicecontent.h"

#include <QRegularExpression>

namespace {

const std::string kBoundary = "b0undary4servicecontent";

} // namespace

ServiceContent::ServiceContent(int port, std::string login, std::string token)
    : client_("127.0.0.1", port), login_(std::move(login)), token_(std::move(token)) {
    client_.set_read_timeout(10, 0);
}

std::string ServiceContent::xmlEscape(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '&':
            escaped += "&amp;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string ServiceContent::createAlbum(const std::string& title, const std::string& password,
                                        const std::string& summary) {
    const std::string entry =
        "<entry xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\"><title>" +
        xmlEscape(title) + "</title><summary>" + xmlEscape(summary) + "</summary><f:password>" +
        xmlEscape(password) + "</f:password></entry>";
    const httplib::Result result =
        client_.Post("/api/users/" + login_ + "/albums/",
                     {{"Authorization", "ZimpToken realm=\"x\", token=\"" + token_ + "\""}}, entry,
                     "application/atom+xml");
    if (!result || result->status != 201)
        return {};
    const QRegularExpressionMatch id = QRegularExpression(QStringLiteral(":album:(\\d+)</id>"))
                                           .match(QString::fromStdString(result->body));
    return id.captured(1).toStdString();
}

std::string ServiceContent::upload(const std::string& album, const std::string& fileName,
                                   const std::string& bytes,
                                   const std::map<std::string, std::string>& fields) {
    std::map<std::string, std::string> all = fields;
    all["token"] = token_;
    all["album"] = album;
    std::string body;
    for (const auto& [key, value] : all)
        body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + key +
                "\"\r\n\r\n" + value + "\r\n";
    body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"image\"; filename=\"" +
            fileName + "\"\r\nContent-Type: image/jpeg\r\n\r\n" + bytes + "\r\n--" + kBoundary +
            "--";
    const httplib::Result result =
        client_.Post("/post/", body, ("multipart/form-data; boundary=" + kBoundary).c_str());
    if (!result || result->status != 200 || result->body.rfind("OK ", 0) != 0)
        return {};
    return result->body.substr(3);
}
