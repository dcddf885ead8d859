#pragma once

#include <httplib.h>

#include <optional>
#include <string>

// Parses a multipart/form-data body with the HTTP library's own form parser, by handing
// the library a complete request held in memory.
//
// The body is read raw first (so a fault can cut it at an exact byte count); and the
// plug-in ends its body with the closing delimiter and no line break after it, which the
// library's parser would refuse as unfinished, so that one line break is supplied here.
class MultipartForm : private httplib::Server {
public:
    // The parts of the form, by field name; empty when the content type names no boundary
    // or the body is not a well-formed form ending in its closing delimiter.
    static std::optional<httplib::MultipartFormDataMap> parse(const std::string& contentType,
                                                              std::string body);

private:
    MultipartForm();

    std::optional<httplib::MultipartFormDataMap> parts_;
};
