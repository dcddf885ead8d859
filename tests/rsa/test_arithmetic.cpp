// Known answers for the big-integer layers: unit arrays, magnitudes, signed numbers,
// Euclid and Montgomery exponentiation.
#include "hexnum.h"
#include "monty.h"
#include "vlong.h"

#include <gtest/gtest.h>

namespace {

vlong neg(std::uint32_t x) {
    return vlong(0) - vlong(x);
}

TEST(FlexUnit, SetGrowsAndTrimsLeadingZeroUnits) {
    flex_unit f;
    EXPECT_EQ(f.get(0), 0u);
    EXPECT_EQ(f.units_used(), 0u);
    f.set(3, 0); // at or above used, zero: nothing
    EXPECT_EQ(f.units_used(), 0u);
    EXPECT_EQ(f.units_allocated(), 0u);
    f.set(2, 5);
    EXPECT_EQ(f.units_used(), 3u);
    EXPECT_EQ(f.units_allocated(), 3u); // grows to exactly the size asked
    EXPECT_EQ(f.get(0), 0u);
    EXPECT_EQ(f.get(1), 0u);
    EXPECT_EQ(f.get(2), 5u);
    EXPECT_EQ(f.get(9), 0u);
    f.set(1, 7);
    f.set(2, 0); // top unit to zero lowers used to the next non-zero unit
    EXPECT_EQ(f.units_used(), 2u);
    f.set(1, 0); // and past every zero unit below it
    EXPECT_EQ(f.units_used(), 0u);
    EXPECT_EQ(f.get(1), 0u); // stale units read as zero
}

TEST(FlexUnit, ClearKeepsTheArray) {
    flex_unit f;
    f.set(4, 1);
    f.clear();
    EXPECT_EQ(f.units_used(), 0u);
    EXPECT_EQ(f.get(4), 0u);
    EXPECT_EQ(f.units_allocated(), 5u);
}

struct FastMulCase {
    const char* x;
    const char* y;
    std::uint32_t keep;
    const char* low_bits;
};

TEST(FlexUnit, FastMulKeepsTheLowBitsOfTheProduct) {
    const FastMulCase cases[] = {
        {"123456789ABCDEF0", "FEDCBA9876543210", 0, "0"},
        {"123456789ABCDEF0", "FEDCBA9876543210", 1, "0"},
        {"123456789ABCDEF0", "FEDCBA9876543210", 31, "5618CF00"},
        {"123456789ABCDEF0", "FEDCBA9876543210", 32, "5618CF00"},
        {"123456789ABCDEF0", "FEDCBA9876543210", 40, "FE5618CF00"},
        {"123456789ABCDEF0", "FEDCBA9876543210", 64, "236D88FE5618CF00"},
        {"123456789ABCDEF0", "FEDCBA9876543210", 128, "121FA00AD77D7422236D88FE5618CF00"},
        {"FFFFFFFFFFFFFFFFFFFFFFFF", "FEDCBA98765432110FEDCBA9", 1, "1"},
        {"FFFFFFFFFFFFFFFFFFFFFFFF", "FEDCBA98765432110FEDCBA9", 33, "F0123457"},
        {"FFFFFFFFFFFFFFFFFFFFFFFF", "FEDCBA98765432110FEDCBA9", 40, "EEF0123457"},
        {"FFFFFFFFFFFFFFFFFFFFFFFF", "FEDCBA98765432110FEDCBA9", 95, "123456789ABCDEEF0123457"},
        {"FFFFFFFFFFFFFFFFFFFFFFFF", "FEDCBA98765432110FEDCBA9", 200,
         "FEDCBA98765432110FEDCBA80123456789ABCDEEF0123457"},
        {"0", "FEDCBA9876543210", 64, "0"},
    };
    for (const auto& c : cases) {
        const vlong x = from_hex(c.x);
        const vlong y = from_hex(c.y);
        std::vector<std::uint32_t> xu(x.get_nunits()), yu(y.get_nunits());
        x.store(xu.data(), static_cast<std::uint32_t>(xu.size()));
        y.store(yu.data(), static_cast<std::uint32_t>(yu.size()));
        vlong_value xv;
        vlong_value yv;
        vlong_value out;
        for (std::uint32_t i = 0; i < xu.size(); ++i)
            xv.set(i, xu[i]);
        for (std::uint32_t i = 0; i < yu.size(); ++i)
            yv.set(i, yu[i]);
        out.set(7, 0xDEAD); // stale units must not leak into the result
        out.fast_mul(xv, yv, c.keep);
        std::vector<std::uint32_t> ou(out.units_used());
        for (std::uint32_t i = 0; i < ou.size(); ++i)
            ou[i] = out.get(i);
        vlong got;
        got.load(ou.data(), static_cast<std::uint32_t>(ou.size()));
        EXPECT_EQ(to_hex(got), c.low_bits) << c.x << " * " << c.y << " keep " << c.keep;
        EXPECT_LE(out.units_used(), (c.keep + 31) / 32);
    }
}

TEST(VlongValue, ZeroHasNoUnitsNoBitsAndStaysZeroWhenShifted) {
    vlong_value z;
    EXPECT_TRUE(z.is_zero());
    EXPECT_EQ(z.bits(), 0u);
    EXPECT_EQ(z.test(0), 0);
    EXPECT_EQ(z.test(100), 0);
    z.shl();
    EXPECT_TRUE(z.is_zero());
    z.shr();
    z.shr(40);
    EXPECT_TRUE(z.is_zero());
}

TEST(VlongValue, ShiftsAcrossUnitBoundaries) {
    vlong_value v;
    v.init(0x80000001u);
    v.shl();
    EXPECT_EQ(v.units_used(), 2u);
    EXPECT_EQ(v.get(0), 2u);
    EXPECT_EQ(v.get(1), 1u);
    EXPECT_EQ(v.bits(), 33u);
    v.shr();
    EXPECT_EQ(v.units_used(), 1u);
    EXPECT_EQ(v.get(0), 0x80000001u);
    v.set(3, 0xF0000000u); // 2^124 * 15 + 0x80000001
    v.shr(100);
    EXPECT_EQ(v.units_used(), 1u);
    EXPECT_EQ(v.get(0), 0xF000000u);
    v.shr(64);
    EXPECT_TRUE(v.is_zero());
}

// Shifting right leaves stale units above the used count; no operation may read them.
TEST(VlongValue, StaleUnitsAboveTheValueAreNotRead) {
    vlong_value v;
    v.set(0, 5);
    v.set(1, 0xABC);
    v.set(2, 0xFFFFFFFF);
    v.shr(32); // units 0xABC, 0xFFFFFFFF, then a stale 0xFFFFFFFF
    v.shr(32); // value 0xFFFFFFFF, stale units above
    ASSERT_EQ(v.units_used(), 1u);
    vlong_value w;
    w.init(3);
    vlong_value product;
    product.fast_mul(v, w, 128);
    EXPECT_EQ(product.units_used(), 2u);
    EXPECT_EQ(product.get(0), 0xFFFFFFFDu);
    EXPECT_EQ(product.get(1), 2u);
    product.fast_mul(w, v, 64); // the stale units on the multiplicand side
    EXPECT_EQ(product.get(0), 0xFFFFFFFDu);
    EXPECT_EQ(product.get(1), 2u);
    vlong_value sum;
    sum.init(1);
    sum.add(v);
    EXPECT_EQ(sum.units_used(), 2u);
    EXPECT_EQ(sum.get(0), 0u);
    EXPECT_EQ(sum.get(1), 1u);
}

struct HexCase {
    const char* a;
    const char* b;
    const char* expected;
};

TEST(Vlong, SubtractionBorrowsThroughUnits) {
    const HexCase cases[] = {
        {"10000000000000000", "1", "FFFFFFFFFFFFFFFF"},
        // The subtrahend's all-ones unit plus the pending borrow leaves the unit unchanged.
        {"10000000000000000", "FFFFFFFF00000001", "FFFFFFFF"},
        {"1000000000000000000000000", "1", "FFFFFFFFFFFFFFFFFFFFFFFF"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "0"},
        {"1000000000000000000000000", "FFFFFFFFFFFFFFFFFFFFFFFF", "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(to_hex(from_hex(c.a) - from_hex(c.b)), c.expected) << c.a << " - " << c.b;
}

TEST(Vlong, AdditionCarriesIntoANewTopUnit) {
    const HexCase cases[] = {
        {"FFFFFFFFFFFFFFFF", "1", "10000000000000000"},
        {"FFFFFFFF", "FFFFFFFF", "1FFFFFFFE"},
        {"0", "0", "0"},
        {"1", "FFFFFFFFFFFFFFFFFFFFFFFF", "1000000000000000000000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(to_hex(from_hex(c.a) + from_hex(c.b)), c.expected) << c.a << " + " << c.b;
}

TEST(Vlong, SignedResults) {
    EXPECT_EQ(vlong(7) - vlong(9), neg(2));
    EXPECT_TRUE((vlong(7) - vlong(9)).is_negative());
    EXPECT_EQ(neg(2) + vlong(5), vlong(3));
    EXPECT_EQ(vlong(5) + neg(7), neg(2));
    EXPECT_EQ(neg(3) - neg(5), vlong(2));
    EXPECT_EQ(neg(7) / vlong(2), neg(3));
    EXPECT_EQ(neg(7) % vlong(2), neg(1));
    EXPECT_EQ(vlong(7) % neg(2), vlong(1));
    EXPECT_EQ(vlong(7) / neg(2), neg(3));
    EXPECT_EQ(neg(6) * neg(7), vlong(42));
    EXPECT_EQ(neg(6) * vlong(7), neg(42));
}

TEST(Vlong, ComparesSignedNumbers) {
    const vlong zero_from_negatives = neg(5) + vlong(5);
    EXPECT_EQ(zero_from_negatives, vlong(0));
    EXPECT_FALSE(zero_from_negatives < vlong(0));
    EXPECT_FALSE(zero_from_negatives.is_negative());
    EXPECT_FALSE(neg(5) - neg(5) < vlong(0)); // subtracting equal negatives gives plain zero
    EXPECT_TRUE(neg(1) < vlong(0));
    EXPECT_TRUE(vlong(0) > neg(1));
    EXPECT_TRUE(neg(7) < neg(3));
    EXPECT_TRUE(neg(3) > neg(7));
    EXPECT_TRUE(from_hex("100000000") > from_hex("FFFFFFFF"));
    EXPECT_TRUE(vlong(4) >= vlong(4));
    EXPECT_TRUE(vlong(4) != vlong(5));
}

TEST(Vlong, DivisionAndRemainder) {
    EXPECT_EQ(vlong(5) / vlong(7), vlong(0));
    EXPECT_EQ(vlong(5) % vlong(7), vlong(5));
    const vlong big = from_hex("123456789ABCDEF0123456789");
    EXPECT_EQ(big / big, vlong(1));
    EXPECT_EQ(big % big, vlong(0));
    EXPECT_EQ(to_hex(from_hex("FFFFFFFFFFFFFFFFFFFFFFFF") / from_hex("10000000")),
              "FFFFFFFFFFFFFFFFF");
    EXPECT_EQ(to_hex(from_hex("FFFFFFFFFFFFFFFFFFFFFFFF") % from_hex("10000000")), "FFFFFFF");
}

TEST(Vlong, ZeroDivisorGivesQuotientZeroAndTheDividendAsRemainder) {
    EXPECT_EQ(vlong(5) / vlong(0), vlong(0));
    EXPECT_EQ(vlong(5) % vlong(0), vlong(5));
    EXPECT_EQ(neg(5) % vlong(0), neg(5));
    EXPECT_EQ(vlong(0) / vlong(0), vlong(0));
}

TEST(Vlong, CopiesShareUntilChanged) {
    vlong a = from_hex("123456789ABCDEF0123");
    vlong b = a;
    vlong c;
    c = a;
    b += vlong(1);
    c -= vlong(1);
    EXPECT_EQ(to_hex(a), "123456789ABCDEF0123");
    EXPECT_EQ(to_hex(b), "123456789ABCDEF0124");
    EXPECT_EQ(to_hex(c), "123456789ABCDEF0122");
    a = a; // self-assignment keeps the value
    EXPECT_EQ(to_hex(a), "123456789ABCDEF0123");
    a += a; // an operand that is the number itself
    EXPECT_EQ(to_hex(a), "2468ACF13579BDE0246");
    const std::uint32_t units[3] = {1, 2, 0};
    vlong d = a;
    d.load(units, 3);
    EXPECT_EQ(d.get_nunits(), 2u); // loaded with the leading zero unit trimmed
    EXPECT_EQ(to_hex(d), "200000001");
    EXPECT_EQ(to_hex(a), "2468ACF13579BDE0246");
    std::uint32_t out[4] = {9, 9, 9, 9};
    d.store(out, 4);
    EXPECT_EQ(out[0], 1u);
    EXPECT_EQ(out[1], 2u);
    EXPECT_EQ(out[2], 0u);
    EXPECT_EQ(out[3], 0u);
}

struct Triple {
    std::uint32_t a;
    std::uint32_t b;
    std::uint32_t expected;
};

TEST(Euclid, GreatestCommonDivisor) {
    const Triple cases[] = {{0, 6, 6}, {6, 0, 6}, {12, 18, 6}, {17, 5, 1}, {1071, 462, 21}};
    for (const auto& c : cases)
        EXPECT_EQ(gcd(c.a, c.b), vlong(c.expected)) << c.a << ", " << c.b;
}

TEST(Euclid, ModularInverse) {
    const Triple cases[] = {{3, 7, 5}, {61, 53, 20}, {1, 2, 1}, {17, 3120, 2753}, {10, 7, 5}};
    for (const auto& c : cases)
        EXPECT_EQ(modinv(c.a, c.b), vlong(c.expected)) << c.a << " mod " << c.b;
}

TEST(Euclid, ModularInverseTerminatesWithoutAnInverse) {
    EXPECT_EQ(modinv(0, 7), vlong(0));
    (void)modinv(6, 9); // no inverse: any value, but it returns
    (void)modinv(5, 0);
}

TEST(Montgomery, ContextForModulus497) {
    const monty m(497);
    EXPECT_EQ(m.get_r(), vlong(512));
    EXPECT_EQ(m.get_r_bits(), 9u);
    EXPECT_EQ(m.get_r_inverse(), vlong(232));
    EXPECT_EQ(m.get_m_prime(), vlong(239));
}

TEST(Montgomery, ProductIsScaledByTheInverseOfR) {
    monty m(497);
    vlong x = 100;
    x.docopy();
    m.mul(x, vlong(200));
    // 100 * 200 * 232 mod 497
    EXPECT_EQ(x, vlong(100u * 200u * 232u % 497u));
}

TEST(Montgomery, ModexpKnownAnswers) {
    struct Case {
        const char* x;
        const char* e;
        const char* m;
        const char* expected;
    };
    const Case cases[] = {
        {"4", "D", "1F1", "1BD"}, // 4^13 mod 497 = 445
        {"5", "1", "1F1", "5"},
        {"3E8", "1", "1F1", "6"},            // x^1 = x mod m, also above m
        {"2", "64", "3B9ACA07", "3A323E55"}, // 2^100 mod 1000000007
        {"0", "5", "1F1", "0"},
        {"1F1", "3", "1F1", "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_hex(modexp(from_hex(c.x), from_hex(c.e), from_hex(c.m))), c.expected)
            << c.x << "^" << c.e << " mod " << c.m;
    }
}

TEST(Montgomery, ModexpDefinedResultsOutsideMontgomery) {
    EXPECT_EQ(modexp(4, 0, 497), vlong(1)); // exponent 0
    EXPECT_EQ(modexp(4, 13, 0), vlong(0));  // modulus 0
    EXPECT_EQ(modexp(4, 13, 1), vlong(0));
    EXPECT_EQ(modexp(3, 5, 10), vlong(3)); // even modulus: 243 mod 10
    EXPECT_EQ(modexp(7, 0, 10), vlong(1));
    EXPECT_EQ(modexp(4, neg(1), 497), vlong(0));
    EXPECT_EQ(modexp(4, 13, neg(497)), vlong(0));
    EXPECT_EQ(modexp(neg(4), 13, 497), modexp(493, 13, 497)); // negative base taken mod m
}

} // namespace
