#pragma once

#include "requestcontext.h"

#include <cstdint>
#include <string>

class Database;

// Keeps forms of the site from being sent by other sites (cross-site request forgery),
// without scripts: each browser gets a random cookie, and each form a hidden field holding
// an HMAC-SHA256 of that cookie under the site's secret. Another site can make a browser
// send the cookie but can neither read it nor compute the field.
class CsrfGuard {
public:
    static constexpr const char* kCookie = "pikto_csrf";
    static constexpr const char* kField = "csrf";

    explicit CsrfGuard(Database& db) : db_(db) {}

    // `secureCookies`: the cookie is marked Secure (HTTPS only); `cookieSeconds`: how long
    // it lasts.
    void configure(bool secureCookies, std::int64_t cookieSeconds);

    // The hidden field's value for the browser of the request. When the browser holds no
    // well-formed cookie, a new one is set on the answer and the value is derived from it.
    // Empty when no random cookie or no site secret can be had (a form then cannot be sent).
    std::string fieldFor(RequestContext& context);
    // True when the urlencoded body carries the field matching the browser's cookie; false
    // without a cookie, without the field, with another browser's field, or when the site
    // secret cannot be read.
    bool check(const RequestContext& context);

private:
    // The field for a cookie value; empty when the site secret cannot be read.
    std::string sign(const std::string& cookie);
    // The browser's cookie when it is one this guard makes; empty otherwise.
    static std::string cookieOf(const RequestContext& context);

    Database& db_;
    bool secureCookies_ = false;
    std::int64_t cookieSeconds_ = 30LL * 24 * 60 * 60;
};
