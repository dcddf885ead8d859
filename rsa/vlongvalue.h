#pragma once

#include "flexunit.h"

#include <cstdint>

// The magnitude of a number, shared by copy-on-write between vlong handles.
class vlong_value : public flex_unit {
public:
    // Number of vlong handles that refer to this magnitude besides the first one.
    std::uint32_t share_count = 0;

    bool is_zero() const { return used == 0; }
    // The lowest unit, 0 for zero.
    explicit operator std::uint32_t() const { return get(0); }
    // Bit i, 0 beyond the used units.
    int test(std::uint32_t i) const { return (get(i / 32) >> (i % 32)) & 1; }
    // Index of the highest set bit plus one; 0 for zero.
    std::uint32_t bits() const;
    // +1, 0 or -1 as this is greater than, equal to or less than x.
    int cf(const vlong_value& x) const;
    void shl();
    void shr();
    // Multiplies by 2^x.
    void shl(std::uint32_t x);
    // Divides by 2^x, dropping the low bits.
    void shr(std::uint32_t x);
    void add(const vlong_value& x);
    // this -= x; requires this >= x.
    void subtract(const vlong_value& x);
    void init(std::uint32_t x);
    void copy(const vlong_value& x);
    // this = x * y; x and y must be other objects than this.
    void mul(const vlong_value& x, const vlong_value& y);
    // this = x / y and rem = x mod y, one quotient bit per step. A zero divisor gives the
    // quotient 0 and the remainder x (x = 0 * y + x still holds). this, rem and y must be
    // distinct objects.
    void divide(const vlong_value& x, const vlong_value& y, vlong_value& rem);
};
