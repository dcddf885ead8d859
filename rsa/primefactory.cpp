#include "primefactory.h"

#include "monty.h"

#include <array>
#include <cassert>
#include <vector>

namespace {
constexpr std::uint32_t table_size = 200;
constexpr std::uint32_t sieve_size = 1600;
constexpr std::uint32_t window = 1000;
} // namespace

prime_factory::prime_factory() : primes(std::make_unique<std::uint32_t[]>(table_size)) {
    std::vector<char> sieve(sieve_size + 1, 1);
    std::uint32_t p = 2;
    for (;;) {
        while (!sieve[p])
            ++p;
        if (p == sieve_size) // the flag at 1600 is never cleared and ends the walk
            break;
        primes[prime_count++] = p;
        if (prime_count == table_size)
            break;
        for (std::uint32_t multiple = 2 * p; multiple < sieve_size; multiple += p)
            sieve[multiple] = 0;
        ++p;
    }
}

vlong prime_factory::find_prime(vlong start) const {
    assert(!start.is_negative());
    std::array<char, window> flags{};
    for (;;) {
        flags.fill(1);
        for (std::uint32_t i = 0; i < prime_count; ++i) {
            const std::uint32_t sp = primes[i];
            std::uint32_t r = static_cast<std::uint32_t>(start % vlong(sp));
            if (r != 0)
                r = sp - r;
            // start + r is the first multiple of sp at or above start.
            for (; r < window; r += sp)
                flags[r] = 0;
        }
        for (std::uint32_t offset = 0; offset < window; ++offset) {
            if (flags[offset] && is_probable_prime(start))
                return start;
            start += 1;
        }
    }
}

int is_probable_prime(const vlong& n) {
    const vlong pm1 = n - 1;
    for (const std::uint32_t a : any) {
        if (modexp(a, pm1, n) != 1)
            return 0;
    }
    return 1;
}

vlong from_str(const char* s) {
    vlong x = 0;
    for (; *s != '\0'; ++s)
        x = x * 256 + vlong(static_cast<unsigned char>(*s));
    return x;
}
