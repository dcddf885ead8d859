#include "base64.h"

#include <array>

namespace {

// Character code -> 6-bit value, or -1 outside the alphabet.
constexpr std::array<signed char, 256> decode_table = [] {
    std::array<signed char, 256> table{};
    table.fill(-1);
    for (std::size_t i = 0; i < base64_chars.size(); ++i)
        table[static_cast<unsigned char>(base64_chars[i])] = static_cast<signed char>(i);
    return table;
}();

} // namespace

std::string base64_encode(const unsigned char* bytes, unsigned int n) {
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    unsigned int i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned int g = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int s = 18; s >= 0; s -= 6)
            out += base64_chars[(g >> s) & 63];
    }
    const unsigned int rest = n - i;
    if (rest > 0) {
        unsigned int g = bytes[i] << 16;
        if (rest == 2)
            g |= bytes[i + 1] << 8;
        for (unsigned int k = 0; k <= rest; ++k)
            out += base64_chars[(g >> (18 - 6 * k)) & 63];
        out.append(3 - rest, '=');
    }
    return out;
}

std::string base64_decode(const std::string& text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    unsigned int g = 0;
    int k = 0;
    for (const char ch : text) {
        const int v = decode_table[static_cast<unsigned char>(ch)];
        if (v < 0)
            break; // "=" or any other character ends the input
        g = g << 6 | static_cast<unsigned int>(v);
        if (++k == 4) {
            out += static_cast<char>(g >> 16);
            out += static_cast<char>(g >> 8);
            out += static_cast<char>(g);
            g = 0;
            k = 0;
        }
    }
    if (k > 1) {
        g <<= 6 * (4 - k);
        out += static_cast<char>(g >> 16);
        if (k == 3)
            out += static_cast<char>(g >> 8);
    }
    return out;
}
