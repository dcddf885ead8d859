#include "router.h"

std::vector<std::string> Router::split(const std::string& path) {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > start)
            segments.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return segments;
}

void Router::add(std::string method, const std::string& pattern, std::size_t bodyLimit,
                 Handler handler) {
    routes_.push_back({std::move(method), split(pattern), bodyLimit, std::move(handler), {}});
}

void Router::addStreamed(std::string method, const std::string& pattern, std::size_t bodyLimit,
                         Streamer streamer) {
    routes_.push_back({std::move(method), split(pattern), bodyLimit, {}, std::move(streamer)});
}

bool Router::matches(const Route& route, const std::vector<std::string>& segments,
                     std::map<std::string, std::string>& params) {
    if (route.pattern.size() != segments.size())
        return false;
    std::map<std::string, std::string> found;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::string& part = route.pattern[i];
        if (part.size() > 2 && part.front() == '{' && part.back() == '}')
            found[part.substr(1, part.size() - 2)] = segments[i];
        else if (part != segments[i])
            return false;
    }
    params = std::move(found);
    return true;
}

Router::Match Router::find(const std::string& method,
                           const std::vector<std::string>& segments) const {
    Match match;
    for (const Route& route : routes_) {
        std::map<std::string, std::string> params;
        if (!matches(route, segments, params))
            continue;
        if (route.method == method || (route.method == "GET" && method == "HEAD")) {
            match.outcome = Outcome::Found;
            match.route = &route;
            match.params = std::move(params);
            return match;
        }
        match.outcome = Outcome::WrongMethod;
    }
    return match;
}
