#include "flexunit.h"

#include <algorithm>
#include <cassert>

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

void flex_unit::fast_mul(const flex_unit& x, const flex_unit& y, std::uint32_t keep) {
    assert(&x != this && &y != this);
    const std::uint32_t limit = (keep + 31) / 32;
    reserve(limit);
    std::uint32_t* r = units.get();
    std::fill(r, r + limit, 0u);
    const std::uint32_t* xu = x.units.get();
    const std::uint32_t* yu = y.units.get();
    const std::uint32_t rows = std::min(limit, x.used);
    for (std::uint32_t i = 0; i < rows; ++i) {
        const std::uint64_t w = xu[i];
        std::uint64_t cy = 0;
        const std::uint32_t end = std::min(limit, i + y.used);
        std::uint32_t* ri = r + i;
        const std::uint32_t n = end - i;
        // cy + r[j] + w * y[j - i] < 2^64: the exact value fits the intermediate.
        for (std::uint32_t j = 0; j < n; ++j) {
            const std::uint64_t t = w * yu[j] + ri[j] + cy;
            ri[j] = static_cast<std::uint32_t>(t);
            cy = t >> 32;
        }
        for (std::uint32_t j = end; cy != 0 && j < limit; ++j) {
            const std::uint32_t c = static_cast<std::uint32_t>(cy);
            r[j] += c;
            cy = r[j] < c ? 1 : 0;
        }
    }
    if (keep % 32 != 0)
        r[limit - 1] &= (std::uint32_t{1} << (keep % 32)) - 1;
    used = limit;
    trim();
}
