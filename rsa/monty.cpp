#include "monty.h"

#include <cassert>

monty::monty(const vlong& M) : r(1), m(M) {
    assert(M.test(0) == 1 && M > 1 && !M.is_negative());
    // R = 2^r_bits, the smallest power of two not below M.
    r_bits = M.bits();
    if (r_bits > 0 && (M - 1).bits() < r_bits) // M is itself a power of two
        r_bits -= 1;
    r = 0;
    r.docopy();
    r.value->set(r_bits / 32, std::uint32_t{1} << (r_bits % 32));
    // R - m is congruent to R and lies in 1 .. m - 1.
    r_inverse = modinv(r - m, m);
    m_prime = r - modinv(m, r);
}

void monty::mul(vlong& x, const vlong& y) {
    assert(x.value->share_count == 0);
    assert(x.value != t.value && x.value != k.value && y.value != t.value);
    t.value->fast_mul(*x.value, *y.value, 2 * r_bits); // the full product, below R^2
    k.value->fast_mul(*t.value, *m_prime.value, r_bits);
    x.value->fast_mul(*k.value, *m.value, 2 * r_bits);
    x.value->add(*t.value);
    x.value->shr(r_bits);
    if (x.value->cf(*m.value) >= 0)
        x.value->subtract(*m.value);
}

vlong monty::exp(const vlong& x, const vlong& e) {
    if (e.is_zero())
        return vlong(1) % m;
    vlong result = r - m; // Montgomery form of 1
    vlong base = (x * r) % m;
    if (base < 0)
        base += m;
    result.docopy();
    base.docopy();
    const std::uint32_t n = e.bits();
    for (std::uint32_t i = 0;; ++i) {
        if (e.test(i))
            mul(result, base);
        if (i + 1 == n)
            break;
        mul(base, base);
    }
    return (result * r_inverse) % m;
}

vlong modexp(const vlong& x, const vlong& e, const vlong& m) {
    if (m.is_zero() || m.is_negative() || e.is_negative())
        return 0;
    if (m == 1)
        return 0;
    if (m.test(0) == 0) {
        // Even modulus: right-to-left square-and-multiply with the general remainder.
        vlong result = 1;
        vlong base = x % m;
        if (base < 0)
            base += m;
        const std::uint32_t n = e.bits();
        for (std::uint32_t i = 0; i < n; ++i) {
            if (e.test(i))
                result = (result * base) % m;
            if (i + 1 < n)
                base = (base * base) % m;
        }
        return result;
    }
    monty me(m);
    return me.exp(x, e);
}
