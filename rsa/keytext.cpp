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
// Digit k is bits 4k .. 4k + 3 of x, the remainder mod 16 after k divisions by 16.
std::size_t write_digits(char* out, const vlong& x) {
    static const char alphabet[] = "0123456789ABCDEF";
    const std::size_t n = (x.bits() + 3) / 4;
    for (std::size_t k = 0; k < n; ++k) {
        const auto bit = static_cast<std::uint32_t>(4 * (n - 1 - k));
        const int digit =
            x.test(bit) | x.test(bit + 1) << 1 | x.test(bit + 2) << 2 | x.test(bit + 3) << 3;
        out[k] = alphabet[digit];
    }
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
