// The arithmetic against OpenSSL's BIGNUM on random operands of 1 to 2048 bits.
#include "hexnum.h"
#include "monty.h"
#include "vlong.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/err.h>

#include <memory>
#include <random>
#include <string>

namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
using Ctx = std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)>;

Bn bn_new() {
    return Bn(BN_new(), &BN_free);
}

Bn bn_from(const std::string& hex) {
    BIGNUM* b = nullptr;
    BN_hex2bn(&b, hex.c_str());
    return Bn(b, &BN_free);
}

std::string bn_hex(const BIGNUM* b) {
    char* s = BN_bn2hex(b);
    std::string text(s);
    OPENSSL_free(s);
    const bool neg = !text.empty() && text[0] == '-';
    std::string digits = neg ? text.substr(1) : text;
    const auto first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "0" : digits.substr(first);
    return neg && digits != "0" ? "-" + digits : digits;
}

// Random operands: a uniformly drawn size of 1 .. max_bits bits with its top bit set, so that
// every size is exercised, and optionally a random sign.
class Operands {
public:
    explicit Operands(std::uint64_t seed) : rng(seed) {}

    std::string positive(unsigned max_bits = 2048) {
        const unsigned bits = std::uniform_int_distribution<unsigned>(1, max_bits)(rng);
        return of_bits(bits);
    }

    std::string of_bits(unsigned bits) {
        std::string hex;
        const unsigned top = (bits - 1) % 4;
        hex += "0123456789ABCDEF"[(1u << top) | (rng() & ((1u << top) - 1))];
        for (unsigned i = 0; i < (bits - 1) / 4; ++i)
            hex += "0123456789ABCDEF"[rng() & 15];
        return hex;
    }

    std::string signed_operand() {
        std::string hex = positive();
        return (rng() & 1) ? "-" + hex : hex;
    }

    std::string odd(unsigned max_bits) {
        std::string hex = positive(max_bits);
        char& last = hex.back();
        const int d = last <= '9' ? last - '0' : last - 'A' + 10;
        last = "0123456789ABCDEF"[d | 1];
        return hex;
    }

private:
    std::mt19937_64 rng;
};

TEST(Differential, AddSubtractMultiplyMatchOpenSsl) {
    Operands gen(1);
    Ctx ctx(BN_CTX_new(), &BN_CTX_free);
    for (int n = 0; n < 3000; ++n) {
        const std::string a = gen.signed_operand();
        const std::string b = gen.signed_operand();
        const vlong x = from_hex(a);
        const vlong y = from_hex(b);
        const Bn ba = bn_from(a);
        const Bn bb = bn_from(b);
        const Bn r = bn_new();
        BN_add(r.get(), ba.get(), bb.get());
        ASSERT_EQ(to_hex(x + y), bn_hex(r.get())) << a << " + " << b;
        BN_sub(r.get(), ba.get(), bb.get());
        ASSERT_EQ(to_hex(x - y), bn_hex(r.get())) << a << " - " << b;
        BN_mul(r.get(), ba.get(), bb.get(), ctx.get());
        ASSERT_EQ(to_hex(x * y), bn_hex(r.get())) << a << " * " << b;
        ASSERT_EQ(x.cf(y), BN_cmp(ba.get(), bb.get())) << a << " cf " << b;
    }
}

TEST(Differential, DivideAndRemainderMatchOpenSsl) {
    Operands gen(2);
    Ctx ctx(BN_CTX_new(), &BN_CTX_free);
    for (int n = 0; n < 1200; ++n) {
        std::string a = gen.signed_operand();
        std::string b = gen.signed_operand();
        if (n % 4 == 0) // often a dividend at least as long as the divisor
            std::swap(a, b);
        const vlong x = from_hex(a);
        const vlong y = from_hex(b);
        const Bn ba = bn_from(a);
        const Bn bb = bn_from(b);
        const Bn q = bn_new();
        const Bn r = bn_new();
        // BN_div truncates towards zero and gives the remainder the dividend's sign.
        BN_div(q.get(), r.get(), ba.get(), bb.get(), ctx.get());
        ASSERT_EQ(to_hex(x / y), bn_hex(q.get())) << a << " / " << b;
        ASSERT_EQ(to_hex(x % y), bn_hex(r.get())) << a << " % " << b;
    }
}

TEST(Differential, GcdMatchesOpenSsl) {
    Operands gen(3);
    Ctx ctx(BN_CTX_new(), &BN_CTX_free);
    for (int n = 0; n < 600; ++n) {
        const std::string a = gen.positive();
        // Every fourth pair shares a large factor, so that gcds are not all tiny.
        const std::string f = gen.positive(512);
        std::string b = gen.positive();
        if (n % 4 == 0)
            b = to_hex(from_hex(b) * from_hex(f));
        const std::string a2 = n % 4 == 0 ? to_hex(from_hex(a) * from_hex(f)) : a;
        const Bn ba = bn_from(a2);
        const Bn bb = bn_from(b);
        const Bn r = bn_new();
        BN_gcd(r.get(), ba.get(), bb.get(), ctx.get());
        ASSERT_EQ(to_hex(gcd(from_hex(a2), from_hex(b))), bn_hex(r.get())) << a2 << ", " << b;
    }
}

TEST(Differential, ModinvMatchesOpenSsl) {
    Operands gen(4);
    Ctx ctx(BN_CTX_new(), &BN_CTX_free);
    int checked = 0;
    for (int n = 0; n < 1000; ++n) {
        const std::string m = gen.positive();
        const std::string a = gen.positive();
        if (from_hex(m) < 2)
            continue;
        const Bn bm = bn_from(m);
        const Bn ba = bn_from(a);
        const Bn r = bn_new();
        if (BN_mod_inverse(r.get(), ba.get(), bm.get(), ctx.get()) == nullptr) {
            ERR_clear_error();
            continue; // no inverse
        }
        ++checked;
        ASSERT_EQ(to_hex(modinv(from_hex(a), from_hex(m))), bn_hex(r.get())) << a << " mod " << m;
    }
    EXPECT_GT(checked, 500); // about 6 in 10 random pairs are coprime
}

TEST(Differential, ModexpMatchesOpenSsl) {
    Operands gen(5);
    Ctx ctx(BN_CTX_new(), &BN_CTX_free);
    for (int n = 0; n < 160; ++n) {
        // Odd moduli take the Montgomery path, every eighth an even one the plain path.
        const std::string m = n % 8 == 7 ? gen.positive(1024) : gen.odd(2048);
        const std::string x = gen.positive();
        const std::string e = gen.positive(n % 10 == 0 ? 1024 : 160);
        const Bn bm = bn_from(m);
        const Bn bx = bn_from(x);
        const Bn be = bn_from(e);
        const Bn r = bn_new();
        ASSERT_EQ(BN_mod_exp(r.get(), bx.get(), be.get(), bm.get(), ctx.get()), 1);
        ASSERT_EQ(to_hex(modexp(from_hex(x), from_hex(e), from_hex(m))), bn_hex(r.get()))
            << x << " ^ " << e << " mod " << m;
    }
}

TEST(Differential, ModexpFullSizeExponents) {
    Operands gen(6);
    Ctx ctx(BN_CTX_new(), &BN_CTX_free);
    for (const unsigned bits : {513u, 1024u, 2048u}) {
        std::string m = gen.of_bits(bits);
        m.back() = '1';
        const std::string x = gen.of_bits(bits - 1);
        const std::string e = gen.of_bits(bits);
        const Bn bm = bn_from(m);
        const Bn bx = bn_from(x);
        const Bn be = bn_from(e);
        const Bn r = bn_new();
        ASSERT_EQ(BN_mod_exp(r.get(), bx.get(), be.get(), bm.get(), ctx.get()), 1);
        EXPECT_EQ(to_hex(modexp(from_hex(x), from_hex(e), from_hex(m))), bn_hex(r.get()))
            << bits << " bits";
    }
}

} // namespace
