#include "flexunit.h"

#include <algorithm>
#include <cassert>
#include <cstring>

void wipe_units(std::uint32_t* units, std::uint32_t n) {
    volatile std::uint32_t* v = units;
    while (n > 0)
        v[--n] = 0;
    // Keeps the stores ordered before the free that follows.
    __asm__ __volatile__("" : : "r"(units) : "memory");
}

flex_unit::~flex_unit() {
    if (units)
        wipe_units(units.get(), capacity);
}

void flex_unit::reserve(std::uint32_t x) {
    if (capacity >= x)
        return;
    auto grown = std::make_unique_for_overwrite<std::uint32_t[]>(x);
    if (used > 0)
        std::copy(units.get(), units.get() + used, grown.get());
    // The old array may hold key material too.
    if (units)
        wipe_units(units.get(), capacity);
    units = std::move(grown);
    capacity = x;
}

void flex_unit::set(std::uint32_t i, std::uint32_t x) {
    if (i < used) {
        units[i] = x;
        if (x == 0)
            trim();
    } else if (x != 0) {
        reserve(i + 1);
        std::fill(units.get() + used, units.get() + i, 0u);
        units[i] = x;
        used = i + 1;
    }
}

namespace {

// Units viewed in pairs as 64-bit digits, with room for short operands on the stack. The
// digits may hold key material and are wiped when the buffer goes.
class digit_buffer {
public:
    explicit digit_buffer(std::uint32_t n) : count(n) {
        if (n > inline_digits) {
            heap = std::make_unique<std::uint64_t[]>(n);
            digits = heap.get();
        }
    }
    ~digit_buffer() {
        volatile std::uint64_t* v = digits;
        for (std::uint32_t i = count; i-- > 0;)
            v[i] = 0;
    }
    digit_buffer(const digit_buffer&) = delete;
    digit_buffer& operator=(const digit_buffer&) = delete;

    std::uint64_t* data() { return digits; }

private:
    static constexpr std::uint32_t inline_digits = 80;
    std::uint32_t count;
    std::uint64_t local[inline_digits];
    std::unique_ptr<std::uint64_t[]> heap;
    std::uint64_t* digits = local;
};

using wide = unsigned __int128;

} // namespace

namespace {

std::uint64_t load_digit(const std::uint32_t* u, std::uint32_t k) {
    std::uint64_t d;
    std::memcpy(&d, u + 2 * k, sizeof d);
    return d;
}

void store_digit(std::uint32_t* u, std::uint32_t k, std::uint64_t d) {
    std::memcpy(u + 2 * k, &d, sizeof d);
}

// Digit k of a value of n units: units 2k and 2k + 1, the second only if it is used.
std::uint64_t digit_of(const std::uint32_t* u, std::uint32_t n, std::uint32_t k) {
    return 2 * k + 1 < n ? load_digit(u, k) : std::uint64_t{u[2 * k]};
}

} // namespace

void flex_unit::fast_mul(const flex_unit& x, const flex_unit& y, std::uint32_t keep) {
    assert(&x != this && &y != this);
    const std::uint32_t limit = (keep + 31) / 32;
    // The row-by-row truncated product, taken two units at a time as 64-bit digits (unit
    // pairs, little-endian): every step cy + r[q] + w * y[q - i] is exact in a 128-bit
    // intermediate. Digits from (limit + 1) / 2 on are never formed; the odd unit above limit
    // that an odd limit leaves is dropped below.
    const std::uint32_t out = (limit + 1) / 2;
    reserve(2 * out);
    std::uint32_t* u = units.get();
    std::fill(u, u + 2 * out, 0u);
    const std::uint32_t xn = std::min(out, (x.used + 1) / 2);
    const std::uint32_t yn = std::min(out, (y.used + 1) / 2);
    // The multiplicand as whole digits (its top unit may be followed by a stale one).
    digit_buffer yd(yn);
    for (std::uint32_t k = 0; k < yn; ++k)
        yd.data()[k] = digit_of(y.units.get(), y.used, k);
    const std::uint64_t* yv = yd.data();
    const std::uint32_t* xu = x.units.get();
    auto carry_from = [u, out](std::uint32_t q, std::uint64_t cy) {
        for (; cy != 0 && q < out; ++q) {
            const std::uint64_t r = load_digit(u, q) + cy;
            store_digit(u, q, r);
            cy = r < cy ? 1 : 0;
        }
    };
    std::uint32_t i = 0;
    if (yn > 0) {
        // Two rows per pass: row i + 1 adds its product at position q right after row i has,
        // so that the two carry chains overlap.
        for (; i + 1 < xn; i += 2) {
            const wide w0 = digit_of(xu, x.used, i);
            const wide w1 = digit_of(xu, x.used, i + 1);
            const std::uint32_t end0 = std::min(out, i + yn);
            wide t0 = w0 * yv[0] + load_digit(u, i);
            store_digit(u, i, static_cast<std::uint64_t>(t0));
            std::uint64_t c0 = static_cast<std::uint64_t>(t0 >> 64);
            std::uint64_t c1 = 0;
            for (std::uint32_t q = i + 1; q < end0; ++q) {
                t0 = w0 * yv[q - i] + load_digit(u, q) + c0;
                c0 = static_cast<std::uint64_t>(t0 >> 64);
                const wide t1 = w1 * yv[q - i - 1] + static_cast<std::uint64_t>(t0) + c1;
                store_digit(u, q, static_cast<std::uint64_t>(t1));
                c1 = static_cast<std::uint64_t>(t1 >> 64);
            }
            // Row i is complete; row i + 1 has one position left unless it was cut off.
            carry_from(end0, c0);
            if (end0 < out) { // then end0 = i + yn
                const wide t1 = w1 * yv[yn - 1] + load_digit(u, end0) + c1;
                store_digit(u, end0, static_cast<std::uint64_t>(t1));
                carry_from(end0 + 1, static_cast<std::uint64_t>(t1 >> 64));
            }
        }
        for (; i < xn; ++i) {
            const wide w = digit_of(xu, x.used, i);
            std::uint64_t cy = 0;
            const std::uint32_t end = std::min(out, i + yn);
            for (std::uint32_t q = i; q < end; ++q) {
                const wide t = w * yv[q - i] + load_digit(u, q) + cy;
                store_digit(u, q, static_cast<std::uint64_t>(t));
                cy = static_cast<std::uint64_t>(t >> 64);
            }
            carry_from(end, cy);
        }
    }
    if (limit < 2 * out)
        u[limit] = 0;
    if (keep % 32 != 0)
        u[limit - 1] &= (std::uint32_t{1} << (keep % 32)) - 1;
    used = limit;
    trim();
}
