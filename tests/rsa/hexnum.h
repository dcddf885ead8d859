#pragma once

#include "vlong.h"

#include <ostream>
#include <string>
#include <vector>

// Test helpers: numbers from and to upper-case hexadecimal with an optional leading '-'.
inline vlong from_hex(const std::string& text) {
    std::size_t start = 0;
    bool neg = false;
    if (!text.empty() && text[0] == '-') {
        neg = true;
        start = 1;
    }
    std::vector<std::uint32_t> units((text.size() - start + 7) / 8 + 1, 0);
    std::size_t nibble = 0;
    for (std::size_t i = text.size(); i-- > start; ++nibble) {
        const char c = text[i];
        const std::uint32_t d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        units[nibble / 8] |= d << (4 * (nibble % 8));
    }
    vlong x;
    x.load(units.data(), static_cast<std::uint32_t>(units.size()));
    return neg ? vlong(0) - x : x;
}

inline std::string to_hex(const vlong& x) {
    std::vector<std::uint32_t> units(x.get_nunits());
    x.store(units.data(), static_cast<std::uint32_t>(units.size()));
    std::string out;
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = units.size(); i-- > 0;) {
        for (int s = 28; s >= 0; s -= 4)
            out += digits[(units[i] >> s) & 15];
    }
    const auto first = out.find_first_not_of('0');
    out = first == std::string::npos ? "0" : out.substr(first);
    return x.is_negative() ? "-" + out : out;
}

// Lets GoogleTest print numbers in failure messages.
inline void PrintTo(const vlong& x, std::ostream* os) {
    *os << to_hex(x);
}
