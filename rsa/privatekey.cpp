#include "privatekey.h"

#include "keytext.h"
#include "monty.h"
#include "primefactory.h"

bool private_key::create(const char* r1, const char* r2) {
    return create_from(from_str(r1), from_str(r2));
}

bool private_key::create_from(const vlong& start1, const vlong& start2) {
    {
        const prime_factory factory;
        p = factory.find_prime(start1);
        q = factory.find_prime(start2);
    }
    if (p == q) {
        clear_key();
        return false;
    }
    if (p > q) {
        const vlong t = p;
        p = q;
        q = t;
    }
    m = p * q;
    choose_exponent();
    return true;
}

void private_key::choose_exponent() {
    const vlong p1 = p - 1;
    const vlong q1 = q - 1;
    e = 50001;
    while (gcd(p1, e) != 1 || gcd(q1, e) != 1)
        e += 2;
}

void private_key::clear_key() {
    m = 0;
    e = 0;
    p = 0;
    q = 0;
}

vlong private_key::decrypt(const vlong& c) const {
    const vlong p1 = p - 1;
    const vlong q1 = q - 1;
    const vlong d = modinv(e, p1 * q1);
    const vlong u = modinv(p, q);
    const vlong dp = d % p1;
    const vlong dq = d % q1;
    const vlong a = modexp(c % p, dp, p);
    vlong b = modexp(c % q, dq, q);
    if (b < a)
        b += q;
    // With p > q, a can exceed b + q: take h into 0 .. q - 1 so that the result stays right.
    vlong h = ((b - a) * u) % q;
    if (h < 0)
        h += q;
    return a + p * h;
}

bool private_key::MakePq(const char* text) {
    vlong x;
    vlong y;
    if (!str_2_vlong_pair(text, x, y) || x < 3 || y < 3 || x.test(0) == 0 || y.test(0) == 0) {
        clear_key();
        return false;
    }
    p = x;
    q = y;
    m = p * q;
    choose_exponent();
    return true;
}

bool private_key::MakePqStr(char* out) const {
    return vlong_pair_2_str(out, p, q);
}

bool private_key::MakeMeStr(char* out) const {
    return vlong_pair_2_str(out, m, e);
}

bool private_key::can_decrypt() const {
    if (p < 3 || q < 3 || p.test(0) == 0 || q.test(0) == 0 || p == q)
        return false;
    if (e.is_negative() || e.test(0) == 0)
        return false;
    return gcd(e, (p - 1) * (q - 1)) == 1;
}
