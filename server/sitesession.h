#pragma once

#include "requestcontext.h"

#include <optional>
#include <string>

class Database;

// Who a website visitor is: the login of the session cookie the site's sign-in form gave.
class SiteSession {
public:
    static constexpr const char* kCookie = "pikto_session";

    // The login of the visitor's session; empty when not signed in or the session ended.
    static std::optional<std::string> visitor(Database& db, const RequestContext& context);
};
