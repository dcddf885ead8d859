#pragma once

#include "vlong.h"

#include <cstdint>

// Montgomery context for one odd modulus m > 1, with R = 2^r_bits the smallest power of two
// not below m. Built for one exponentiation and then discarded.
class monty {
public:
    // m must be odd and greater than 1 (modexp routes other moduli elsewhere).
    explicit monty(const vlong& M);

    // Replaces x by x * y * R^-1 mod m, for 0 <= x, y < m. x may be y (squaring); x must own
    // its magnitude alone.
    void mul(vlong& x, const vlong& y);
    // Returns x^e mod m, right to left one bit at a time. x may exceed m; e = 0 gives 1.
    vlong exp(const vlong& x, const vlong& e);

    const vlong& get_r() const { return r; }
    const vlong& get_r_inverse() const { return r_inverse; }
    const vlong& get_m_prime() const { return m_prime; }
    std::uint32_t get_r_bits() const { return r_bits; }

private:
    vlong r;         // R
    vlong r_inverse; // R^-1 mod m
    vlong m;
    vlong m_prime; // -m^-1 mod R
    vlong t;       // work numbers of mul, reused
    vlong k;
    std::uint32_t r_bits = 0;
};

// Returns x^e mod m for x >= 0. Defined results for the inputs Montgomery cannot take: m = 0,
// a negative m or a negative e give 0; e = 0 gives 1 mod m; an even m is served by plain
// square-and-multiply with the general remainder. A fresh context is built for every call.
vlong modexp(const vlong& x, const vlong& e, const vlong& m);
