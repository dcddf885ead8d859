#include "sitesession.h"

#include "cookies.h"
#include "database.h"

#include "webresponse.h"

std::optional<std::string> SiteSession::visitor(Database& db, const RequestContext& context) {
    const auto cookies = Cookies::parse(context.req.get_header_value("Cookie"));
    const auto session = cookies.find(kCookie);
    if (session == cookies.end() || session->second.empty())
        return std::nullopt;
    return db.tokenOwner(session->second);
}
