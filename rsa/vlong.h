#pragma once

#include "vlongvalue.h"

#include <cstdint>

class monty;

// A signed integer of unbounded size with value semantics. Copies share the magnitude until
// one of them changes (copy-on-write); the last handle to release a magnitude destroys it, and
// its units are wiped. A zero magnitude never carries the sign.
class vlong {
public:
    // The unsigned 32-bit value x, not negative.
    vlong(std::uint32_t x = 0); // NOLINT: numbers convert implicitly, as in a + 1
    vlong(const vlong& x);
    vlong& operator=(const vlong& x);
    ~vlong();

    // The lowest 32 bits of the magnitude (the sign is ignored).
    explicit operator std::uint32_t() const { return static_cast<std::uint32_t>(*value); }
    // Number of 32-bit units of the magnitude.
    std::uint32_t get_nunits() const { return value->units_used(); }
    // Significant bits of the magnitude; 0 for zero.
    std::uint32_t bits() const { return value->bits(); }
    // Bit i of the magnitude.
    int test(std::uint32_t i) const { return value->test(i); }
    bool is_zero() const { return value->is_zero(); }
    bool is_negative() const { return negative != 0; }
    // Writes the lowest n units of the magnitude to a, least significant first, 0 beyond the
    // used units.
    void store(std::uint32_t* a, std::uint32_t n) const;
    // Makes the magnitude equal to the n units of a (least significant first); the sign stays.
    void load(const std::uint32_t* a, std::uint32_t n);
    // Signed three-way comparison: +1, 0 or -1 as this is greater than, equal to or less
    // than x.
    int cf(vlong x) const;
    // Makes the magnitude private to this handle before it is changed in place.
    void docopy();
    // Exchanges the two numbers without copying units.
    void swap(vlong& x) noexcept;

    vlong& operator+=(const vlong& x);
    vlong& operator-=(const vlong& x);

    friend vlong operator*(const vlong& a, const vlong& b);
    friend vlong operator/(const vlong& a, const vlong& b);
    friend vlong operator%(const vlong& a, const vlong& b);
    friend vlong modinv(const vlong& a, const vlong& m);
    friend class monty;

private:
    void release();
    // this = this - t without allocating; t is left with any value.
    void subtract_consuming(vlong& t);
    void normalise() {
        if (value->is_zero())
            negative = 0;
    }

    // Never null; shared with share_count other handles.
    vlong_value* value;
    int negative = 0;
};

vlong operator+(const vlong& a, const vlong& b);
vlong operator-(const vlong& a, const vlong& b);
// Product; the sign is the XOR of the signs.
vlong operator*(const vlong& a, const vlong& b);
// Quotient truncated towards zero. A zero divisor gives 0.
vlong operator/(const vlong& a, const vlong& b);
// Remainder with the sign of the dividend. A zero divisor gives a.
vlong operator%(const vlong& a, const vlong& b);

inline bool operator==(const vlong& a, const vlong& b) {
    return a.cf(b) == 0;
}
inline bool operator!=(const vlong& a, const vlong& b) {
    return a.cf(b) != 0;
}
inline bool operator<(const vlong& a, const vlong& b) {
    return a.cf(b) < 0;
}
inline bool operator>(const vlong& a, const vlong& b) {
    return a.cf(b) > 0;
}
inline bool operator>=(const vlong& a, const vlong& b) {
    return a.cf(b) >= 0;
}

// Greatest common divisor by Euclid's remainders; gcd(0, b) = b, gcd(a, 0) = a.
vlong gcd(const vlong& a, const vlong& b);
// Returns i in 0 .. m - 1 with i * a = 1 (mod m) for a >= 1, m >= 2 and gcd(a, m) = 1; the
// result is meaningless when no inverse exists (no check is made), and always terminates.
vlong modinv(const vlong& a, const vlong& m);
