#pragma once

#include <string>
#include <string_view>

// The standard Base64 alphabet (RFC 4648).
inline constexpr std::string_view base64_chars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Returns the Base64 text of n bytes, padded with "=", without line breaks.
std::string base64_encode(const unsigned char* bytes, unsigned int n);
// Returns the bytes of a Base64 text. Reading ends, without error, at the end of the text, at
// "=" or at the first character outside the alphabet; a final group of k characters gives
// k - 1 bytes.
std::string base64_decode(const std::string& text);
