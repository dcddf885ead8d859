#pragma once

#include "querystring.h"

#include <map>
#include <string>

struct WebRequest;
struct WebResponse;

// What a handler of the stand-in service is given for one request; made by the service for
// each request and handed down, never kept between requests.
struct RequestContext {
    const WebRequest& req;
    WebResponse& res;
    // The named segments of the route's pattern ("{login}" -> "alice").
    std::map<std::string, std::string> params;
    // The query of the request target.
    QueryString::Fields query;
    // The whole body as received (empty for a request without one).
    std::string body;
    // The Content-Type header as the client sent it.
    std::string contentType;

    // The named segment; empty when the pattern has none of that name.
    std::string param(const std::string& name) const {
        const auto it = params.find(name);
        return it == params.end() ? std::string() : it->second;
    }
};
