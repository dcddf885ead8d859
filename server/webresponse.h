#pragma once

#include "webrequest.h"

#include <cstddef>
#include <string>

// The answer a handler fills for one request: status, headers and the whole body. The body
// is sent with its length; a HEAD request gets the head only.
struct WebResponse {
    int status = 200;
    std::string body;
    WebRequest::Headers headers;

    void set_header(const std::string& name, const std::string& value) {
        headers.emplace(name, value);
    }
    // Replaces the body and its Content-Type.
    void set_content(std::string content, const std::string& type) {
        body = std::move(content);
        headers.erase("Content-Type");
        headers.emplace("Content-Type", type);
    }
    void set_content(const char* data, std::size_t size, const std::string& type) {
        set_content(std::string(data, size), type);
    }
    bool has_header(const std::string& name) const { return headers.count(name) > 0; }
    std::string get_header_value(const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};
