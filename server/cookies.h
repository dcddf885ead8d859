#pragma once

#include <cstdint>
#include <map>
#include <string>

// The site's cookies: reading a request's Cookie header and writing Set-Cookie values.
class Cookies {
public:
    // The cookies of a Cookie header ("a=1; b=2"), by name; the first of a name counts.
    // Pairs without "=" and surrounding spaces are dropped; values stay as sent.
    static std::map<std::string, std::string> parse(const std::string& header);
    // A Set-Cookie value for the whole site, unreadable by scripts, not sent along with
    // requests other sites start except top-level links; `secure` adds Secure (HTTPS only).
    // A `maxAgeSeconds` of 0 deletes the cookie.
    static std::string setCookie(const std::string& name, const std::string& value,
                                 std::int64_t maxAgeSeconds, bool secure);
};
