#pragma once

#include <string_view>

// Checks a request head for a body length two readers could take differently (the ground
// for request smuggling) before the HTTP library reads the head.
class RequestFraming {
public:
    // True when the head carries Content-Length values that differ or are not numbers, or
    // both Content-Length and Transfer-Encoding. `head` is the request line and headers.
    static bool ambiguous(std::string_view head);
};
