#include "vlong.h"

#include <cassert>
#include <utility>

vlong::vlong(std::uint32_t x) : value(new vlong_value) {
    value->init(x);
}

vlong::vlong(const vlong& x) : value(x.value), negative(x.negative) {
    ++value->share_count;
}

vlong& vlong::operator=(const vlong& x) {
    ++x.value->share_count; // first, so that self-assignment keeps the magnitude alive
    release();
    value = x.value;
    negative = x.negative;
    return *this;
}

vlong::~vlong() {
    release();
}

void vlong::release() {
    if (value->share_count > 0)
        --value->share_count;
    else
        delete value;
}

void vlong::docopy() {
    if (value->share_count == 0)
        return;
    --value->share_count;
    auto* own = new vlong_value;
    own->copy(*value);
    value = own;
}

void vlong::swap(vlong& x) noexcept {
    std::swap(value, x.value);
    std::swap(negative, x.negative);
}

void vlong::subtract_consuming(vlong& t) {
    assert(value->share_count == 0 && t.value->share_count == 0);
    if (negative != t.negative) {
        value->add(*t.value);
    } else if (value->cf(*t.value) >= 0) {
        value->subtract(*t.value);
    } else {
        t.value->subtract(*value);
        std::swap(value, t.value);
        negative = 1 - negative;
    }
    normalise();
}

void vlong::store(std::uint32_t* a, std::uint32_t n) const {
    for (std::uint32_t i = 0; i < n; ++i)
        a[i] = value->get(i);
}

void vlong::load(const std::uint32_t* a, std::uint32_t n) {
    docopy();
    value->clear();
    value->reserve(n);
    for (std::uint32_t i = 0; i < n; ++i)
        value->set(i, a[i]);
    normalise();
}

int vlong::cf(const vlong x) const {
    const bool neg = negative != 0 && !value->is_zero();
    const bool xneg = x.negative != 0 && !x.value->is_zero();
    if (neg != xneg)
        return neg ? -1 : 1;
    const int c = value->cf(*x.value);
    // Of two negative numbers the one with the larger magnitude is the smaller.
    return neg ? -c : c;
}

vlong& vlong::operator+=(const vlong& x) {
    if (negative == x.negative) {
        docopy();
        value->add(*x.value);
    } else if (value->cf(*x.value) >= 0) {
        docopy();
        value->subtract(*x.value);
    } else {
        const vlong mine(*this);
        *this = x;
        *this += mine;
    }
    normalise();
    return *this;
}

vlong& vlong::operator-=(const vlong& x) {
    if (negative != x.negative) {
        docopy();
        value->add(*x.value);
    } else if (value->cf(*x.value) < 0) {
        const vlong mine(*this);
        *this = x;
        docopy();
        value->subtract(*mine.value);
        negative = 1 - negative;
    } else {
        docopy();
        value->subtract(*x.value);
    }
    normalise();
    return *this;
}

vlong operator+(const vlong& a, const vlong& b) {
    vlong r(a);
    r += b;
    return r;
}

vlong operator-(const vlong& a, const vlong& b) {
    vlong r(a);
    r -= b;
    return r;
}

vlong operator*(const vlong& a, const vlong& b) {
    vlong r;
    r.value->mul(*a.value, *b.value);
    r.negative = a.negative ^ b.negative;
    r.normalise();
    return r;
}

vlong operator/(const vlong& a, const vlong& b) {
    vlong q;
    vlong rem;
    q.value->divide(*a.value, *b.value, *rem.value);
    q.negative = a.negative ^ b.negative;
    q.normalise();
    return q;
}

vlong operator%(const vlong& a, const vlong& b) {
    vlong q;
    vlong rem;
    q.value->divide(*a.value, *b.value, *rem.value);
    rem.negative = a.negative;
    rem.normalise();
    return rem;
}

vlong gcd(const vlong& a, const vlong& b) {
    vlong x = a;
    vlong y = b;
    for (;;) {
        if (y == 0)
            return x;
        x = x % y;
        if (x == 0)
            return y;
        y = y % x;
    }
}

vlong modinv(const vlong& a, const vlong& m) {
    // Extended Euclid on signed numbers: while d != 0, x = b / d, (b, d) = (d, b - x * d),
    // (i, j) = (j, i - j * x). b - x * d is the remainder of the same division. The work
    // numbers are private to this call and exchanged rather than copied.
    vlong j = 1;
    vlong i = 0;
    vlong b = m;
    vlong d = a;
    b.docopy();
    d.docopy();
    vlong x;
    vlong y;
    vlong t;
    while (!d.is_zero()) {
        x.value->divide(*b.value, *d.value, *y.value);
        x.negative = b.negative ^ d.negative;
        x.normalise();
        y.negative = b.negative;
        y.normalise();
        b.swap(d);
        d.swap(y);
        t.value->mul(*j.value, *x.value);
        t.negative = j.negative ^ x.negative;
        t.normalise();
        i.subtract_consuming(t);
        i.swap(j);
    }
    if (i < 0)
        i += m;
    return i;
}
