#include "csrfguard.h"

#include "cookies.h"
#include "database.h"
#include "textutil.h"

#include <QMessageAuthenticationCode>

#include "webresponse.h"

namespace {

// 128 random bits in hexadecimal.
constexpr std::size_t kCookieBytes = 16;

bool isCookieValue(const std::string& value) {
    return value.size() == kCookieBytes * 2 &&
           value.find_first_not_of("0123456789abcdef") == std::string::npos;
}

QByteArray bytesOf(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void CsrfGuard::configure(bool secureCookies, std::int64_t cookieSeconds) {
    secureCookies_ = secureCookies;
    cookieSeconds_ = cookieSeconds;
}

std::string CsrfGuard::sign(const std::string& cookie) {
    const std::string secret = db_.siteSecret();
    if (secret.empty())
        return {};
    // The purpose is part of the message, so the value serves no other check of the site.
    return QMessageAuthenticationCode::hash(bytesOf("csrf:" + cookie), bytesOf(secret),
                                            QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string CsrfGuard::cookieOf(const RequestContext& context) {
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    const auto cookie = cookies.find(kCookie);
    if (cookie == cookies.end() || !isCookieValue(cookie->second))
        return {};
    return cookie->second;
}

std::string CsrfGuard::fieldFor(RequestContext& context) {
    std::string cookie = cookieOf(context);
    if (cookie.empty()) {
        cookie = TextUtil::randomHex(kCookieBytes);
        if (cookie.empty())
            return {};
        context.res.set_header("Set-Cookie",
                               Cookies::setCookie(kCookie, cookie, cookieSeconds_, secureCookies_));
    }
    return sign(cookie);
}

bool CsrfGuard::check(const RequestContext& context) {
    const std::string cookie = cookieOf(context);
    if (cookie.empty())
        return false;
    const std::string expected = sign(cookie);
    const std::string sent =
        QueryString::value(QueryString::parse(context.body), kField).value_or("");
    return !expected.empty() && TextUtil::sameText(sent, expected);
}
