#pragma once

#include <optional>
#include <string>

// The album API's Authorization header:
//   ZimpToken realm="pikto.ovrana.ru", token="abc"
// Parameters are name="value" pairs separated by commas; the realm is not checked.
class ZimpToken {
public:
    // The token parameter of the header; empty when the scheme is not ZimpToken, the
    // header is malformed, or it has no non-empty token.
    static std::optional<std::string> parse(const std::string& header);
};
