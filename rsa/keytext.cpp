#include "keytext.h"

#include <cstring>

namespace {

vlong read_digits(const char* text, std::size_t n) {
    vlong x = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const signed char ch = static_cast<signed char>(text[i]);
        const int digit = ch <= '9' ? ch - 48 : ch - 55;
        x = x * 16 + vlong(static_cast<std::uint32_t>(digit));
    }
    return x;
}

// Appends the digits of x (most significant first) at out; returns the count written.
std::size_t write_digits(char* out, const vlong& x) {
    static const char alphabet[] = "0123456789ABCDEF";
    char scratch[key_text_max_digits];
    std::size_t n = 0;
    vlong rest = x;
    while (rest != 0) {
        scratch[n++] = alphabet[static_cast<std::uint32_t>(rest % 16)];
        rest = rest / 16;
    }
    for (std::size_t i = 0; i < n; ++i)
        out[i] = scratch[n - 1 - i];
    return n;
}

bool writable(const vlong& x) {
    return !x.is_negative() && (x.bits() + 3) / 4 <= key_text_max_digits;
}

} // namespace

bool str_2_vlong_pair(const char* text, vlong& x, vlong& y) {
    x = 0;
    y = 0;
    if (text == nullptr)
        return false;
    const std::size_t n = std::strlen(text);
    std::size_t h = n;
    for (std::size_t i = n; i-- > 1;) { // position 0 is never the separator
        if (text[i] == '#') {
            h = i;
            break;
        }
    }
    if (h == n)
        return false;
    if (h > key_text_max_digits || n - h - 1 > key_text_max_digits)
        return false;
    x = read_digits(text, h);
    y = read_digits(text + h + 1, n - h - 1);
    return true;
}

bool vlong_pair_2_str(char* out, const vlong& x, const vlong& y) {
    out[0] = '\0';
    if (!writable(x) || !writable(y))
        return false;
    std::size_t n = write_digits(out, x);
    out[n++] = '#';
    n += write_digits(out + n, y);
    out[n] = '\0';
    return true;
}
