#pragma once

#include "requestcontext.h"
#include "webexchange.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The route table of the stand-in service: a method and a path pattern per route. A pattern
// is "/"-separated segments; a segment "{name}" matches any one non-empty segment and is
// handed to the handler under that name. Paths are compared by their non-empty segments,
// so "/api//users/" and "/api/users" are the same path.
class Router {
public:
    using Handler = std::function<void(RequestContext&)>;
    // Takes over a request once its head is read, to be fed its body as it arrives.
    using Streamer = std::function<void(WebExchange&)>;

    struct Route {
        std::string method; // "GET" also answers HEAD
        std::vector<std::string> pattern;
        // The largest request body the route reads; a larger one is refused with 413.
        std::size_t bodyLimit = 0;
        Handler handler;
        Streamer streamer; // set instead of the handler for a streamed route
    };

    enum class Outcome { Found, WrongMethod, NotFound };

    struct Match {
        Outcome outcome = Outcome::NotFound;
        const Route* route = nullptr; // set when found
        std::map<std::string, std::string> params;
    };

    // Adds a route; the first added route that matches wins.
    void add(std::string method, const std::string& pattern, std::size_t bodyLimit,
             Handler handler);
    // Adds a route whose body is not read for it but streamed to `streamer`.
    void addStreamed(std::string method, const std::string& pattern, std::size_t bodyLimit,
                     Streamer streamer);
    // The route for the method and path segments: Found with its parameters; WrongMethod
    // when some route has this path but none this method; NotFound otherwise.
    Match find(const std::string& method, const std::vector<std::string>& segments) const;

    // The non-empty segments of a path ("/a//b/" -> "a", "b").
    static std::vector<std::string> split(const std::string& path);

private:
    static bool matches(const Route& route, const std::vector<std::string>& segments,
                        std::map<std::string, std::string>& params);

    std::vector<Route> routes_;
};
