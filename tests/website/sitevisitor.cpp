#include "sitevisitor.h"

#include <QRegularExpression>

SiteVisitor::SiteVisitor(int port, std::string acceptLanguage)
    : client_("127.0.0.1", port), acceptLanguage_(std::move(acceptLanguage)) {
    client_.set_read_timeout(10, 0);
}

httplib::Headers SiteVisitor::headers() const {
    httplib::Headers headers;
    std::string cookie;
    for (const auto& [name, value] : cookies_)
        cookie += (cookie.empty() ? "" : "; ") + name + "=" + value;
    if (!cookie.empty())
        headers.emplace("Cookie", cookie);
    if (!acceptLanguage_.empty())
        headers.emplace("Accept-Language", acceptLanguage_);
    return headers;
}

void SiteVisitor::keepCookies(const httplib::Result& result) {
    if (!result)
        return;
    for (const auto& [name, value] : result->headers) {
        if (name != "Set-Cookie")
            continue;
        const auto equals = value.find('=');
        const auto end = value.find(';');
        if (equals == std::string::npos)
            continue;
        const std::string cookieName = value.substr(0, equals);
        const std::string cookieValue = value.substr(equals + 1, end - equals - 1);
        if (cookieValue.empty() || value.find("Max-Age=0") != std::string::npos)
            cookies_.erase(cookieName);
        else
            cookies_[cookieName] = cookieValue;
    }
}

httplib::Result SiteVisitor::get(const std::string& path) {
    httplib::Result result = client_.Get(path, headers());
    keepCookies(result);
    return result;
}

httplib::Result SiteVisitor::post(const std::string& path,
                                  const std::multimap<std::string, std::string>& fields) {
    httplib::Params params(fields.begin(), fields.end());
    httplib::Result result = client_.Post(path, headers(), params);
    keepCookies(result);
    return result;
}

bool SiteVisitor::signIn(const std::string& login, const std::string& password) {
    const httplib::Result form = get("/passport/signin/");
    if (!form)
        return false;
    const httplib::Result result =
        post("/passport/signin/", {{"csrf", formValue(form->body, "csrf")},
                                   {"login", login},
                                   {"password", password},
                                   {"back", "/"}});
    return result && result->status == 303 && !cookie("pikto_session").empty();
}

std::string SiteVisitor::cookie(const std::string& name) const {
    const auto it = cookies_.find(name);
    return it == cookies_.end() ? std::string() : it->second;
}

void SiteVisitor::setCookie(const std::string& name, const std::string& value) {
    cookies_[name] = value;
}

std::string SiteVisitor::formValue(const std::string& html, const std::string& name) {
    const QRegularExpression input(
        QStringLiteral("<input[^>]*name=\"%1\"[^>]*value=\"([^\"]*)\"")
            .arg(QRegularExpression::escape(QString::fromStdString(name))));
    return input.match(QString::fromStdString(html)).captured(1).toStdString();
}
