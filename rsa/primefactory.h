#pragma once

#include "vlong.h"

#include <cstdint>
#include <memory>

// Fermat bases of the probable-prime test, in the order they are tried.
inline constexpr std::uint32_t any[4] = {2, 3, 5, 7};

// The first 200 primes (2 .. 1223) and a sieved search for probable primes.
class prime_factory {
public:
    prime_factory();

    // Returns the first number >= start that no table prime divides and that passes
    // is_probable_prime. Table primes themselves are skipped. start must be non-negative.
    vlong find_prime(vlong start) const;

    std::uint32_t prime_count = 0;
    std::unique_ptr<std::uint32_t[]> primes;
};

// Four Fermat tests (bases 2, 3, 5, 7): returns 1 when a^(n-1) = 1 mod n for each, else 0.
int is_probable_prime(const vlong& n);

// The bytes of a NUL-terminated text as a base-256 number, first byte most significant.
vlong from_str(const char* s);
