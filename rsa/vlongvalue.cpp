#include "vlongvalue.h"

#include <algorithm>
#include <bit>
#include <cassert>

std::uint32_t vlong_value::bits() const {
    if (used == 0)
        return 0;
    return (used - 1) * 32 + static_cast<std::uint32_t>(std::bit_width(units[used - 1]));
}

int vlong_value::cf(const vlong_value& x) const {
    if (used != x.used)
        return used > x.used ? 1 : -1;
    for (std::uint32_t i = used; i-- > 0;) {
        if (units[i] != x.units[i])
            return units[i] > x.units[i] ? 1 : -1;
    }
    return 0;
}

void vlong_value::shl() {
    if (used == 0)
        return;
    const std::uint32_t top = units[used - 1] >> 31;
    if (top != 0)
        reserve(used + 1);
    std::uint32_t cy = 0;
    for (std::uint32_t i = 0; i < used; ++i) {
        const std::uint32_t u = units[i];
        units[i] = (u << 1) | cy;
        cy = u >> 31;
    }
    if (top != 0)
        units[used++] = 1;
}

void vlong_value::shl(std::uint32_t x) {
    if (used == 0 || x == 0)
        return;
    const std::uint32_t d = x / 32;
    const std::uint32_t s = x % 32;
    const std::uint32_t n = used;
    reserve(n + d + 1);
    units[n + d] = 0;
    for (std::uint32_t i = n; i-- > 0;) {
        const std::uint32_t u = units[i];
        if (s != 0)
            units[i + d + 1] |= u >> (32 - s);
        units[i + d] = u << s;
    }
    std::fill(units.get(), units.get() + d, 0u);
    used = n + d + 1;
    trim();
}

void vlong_value::shr() {
    std::uint32_t cy = 0;
    for (std::uint32_t i = used; i-- > 0;) {
        const std::uint32_t u = units[i];
        units[i] = (u >> 1) | cy;
        cy = u << 31;
    }
    trim();
}

void vlong_value::shr(std::uint32_t x) {
    const std::uint32_t d = x / 32;
    const std::uint32_t s = x % 32;
    if (d >= used) {
        used = 0;
        return;
    }
    const std::uint32_t n = used - d;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint32_t u = units[i + d];
        if (s != 0)
            u = (u >> s) | (get(i + d + 1) << (32 - s));
        units[i] = u;
    }
    used = n;
    trim();
}

void vlong_value::add(const vlong_value& x) {
    // x may be this object: every unit is read before it is written.
    const std::uint32_t mine = used;
    const std::uint32_t theirs = x.used;
    const std::uint32_t n = std::max(mine, theirs);
    reserve(n + 1);
    const std::uint32_t* xu = x.units.get();
    std::uint32_t* u = units.get();
    const std::uint32_t both = std::min(mine, theirs);
    std::uint64_t cy = 0;
    std::uint32_t i = 0;
    for (; i < both; ++i) {
        const std::uint64_t s = std::uint64_t{u[i]} + xu[i] + cy;
        u[i] = static_cast<std::uint32_t>(s);
        cy = s >> 32;
    }
    for (; i < theirs; ++i) {
        const std::uint64_t s = std::uint64_t{xu[i]} + cy;
        u[i] = static_cast<std::uint32_t>(s);
        cy = s >> 32;
    }
    for (; i < mine && cy != 0; ++i) {
        const std::uint64_t s = std::uint64_t{u[i]} + cy;
        u[i] = static_cast<std::uint32_t>(s);
        cy = s >> 32;
    }
    if (n == mine && i < mine) {
        used = mine; // the carry stopped inside this number's units
        return;
    }
    u[n] = static_cast<std::uint32_t>(cy);
    used = n + 1;
    trim();
}

void vlong_value::subtract(const vlong_value& x) {
    assert(cf(x) >= 0);
    // Unit by unit with a borrow; a subtrahend unit of all ones plus a pending borrow leaves
    // the unit unchanged and keeps the borrow, as the 64-bit difference does.
    const std::uint32_t n = x.used;
    const std::uint32_t* xu = x.units.get();
    std::uint32_t* u = units.get();
    std::uint64_t b = 0;
    std::uint32_t i = 0;
    for (; i < n; ++i) {
        const std::uint64_t d = std::uint64_t{u[i]} - xu[i] - b;
        u[i] = static_cast<std::uint32_t>(d);
        b = d >> 63;
    }
    for (; b != 0 && i < used; ++i) {
        b = u[i] == 0 ? 1 : 0;
        --u[i];
    }
    trim();
}

void vlong_value::init(std::uint32_t x) {
    clear();
    set(0, x);
}

void vlong_value::copy(const vlong_value& x) {
    if (&x == this)
        return;
    clear();
    reserve(x.used);
    if (x.used > 0)
        std::copy(x.units.get(), x.units.get() + x.used, units.get());
    used = x.used;
}

void vlong_value::mul(const vlong_value& x, const vlong_value& y) {
    fast_mul(x, y, x.bits() + y.bits());
}

void vlong_value::divide(const vlong_value& x, const vlong_value& y, vlong_value& rem) {
    assert(this != &rem && this != &y && &rem != &y);
    const vlong_value* dividend = &x;
    vlong_value saved;
    if (this == &x) {
        saved.copy(x);
        dividend = &saved;
    }
    clear();
    rem.copy(*dividend);
    if (y.is_zero())
        return;
    if (rem.cf(y) < 0)
        return;
    // s_d is the divisor shifted left by s_q bits; the quotient bits found are distinct, so
    // "this += 2^s_q" is setting bit s_q. The first shift goes straight to the dividend's
    // length. (Shifting one bit at a time while rem > s_d may go one bit further, but the
    // first step below would shift that bit straight back.)
    vlong_value s_d;
    std::uint32_t s_q = rem.bits() - y.bits();
    s_d.copy(y);
    s_d.shl(s_q);
    while (rem.cf(y) >= 0) {
        while (rem.cf(s_d) < 0) {
            s_d.shr();
            --s_q;
        }
        rem.subtract(s_d);
        set(s_q / 32, get(s_q / 32) | (std::uint32_t{1} << (s_q % 32)));
    }
}
