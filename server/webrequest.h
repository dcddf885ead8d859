#pragma once

#include <map>
#include <string>
#include <strings.h>

// One request as the service's handlers see it: its head, read whole before a handler runs.
// Member names follow the ones the handlers were written against.
struct WebRequest {
    struct NoCase {
        bool operator()(const std::string& a, const std::string& b) const {
            return strcasecmp(a.c_str(), b.c_str()) < 0;
        }
    };
    using Headers = std::multimap<std::string, std::string, NoCase>;

    std::string method;
    // The path of the target, percent-decoded, without the query.
    std::string path;
    // The target as sent, path and query.
    std::string target;
    std::string remote_addr;
    Headers headers;

    bool has_header(const std::string& name) const { return headers.count(name) > 0; }
    // The first value of the header; empty when it is missing.
    std::string get_header_value(const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};
