// Primes, key generation, CRT decryption and the key text format.
#include "hexnum.h"
#include "keytext.h"
#include "monty.h"
#include "primefactory.h"
#include "privatekey.h"
#include "testkey.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(PrimeFactory, TableHoldsTheFirst200Primes) {
    const prime_factory f;
    ASSERT_EQ(f.prime_count, 200u);
    EXPECT_EQ(f.primes[0], 2u);
    EXPECT_EQ(f.primes[1], 3u);
    EXPECT_EQ(f.primes[25], 101u);
    EXPECT_EQ(f.primes[199], 1223u);
    for (std::uint32_t i = 1; i < f.prime_count; ++i)
        EXPECT_LT(f.primes[i - 1], f.primes[i]);
}

TEST(PrimeFactory, FindPrimeSkipsTablePrimes) {
    const prime_factory f;
    const struct {
        const char* start;
        const char* prime;
    } cases[] = {
        {"2", "4CD"},   // 1229: everything up to 1223 is a table prime or a multiple of one
        {"4CE", "4CF"}, // 1230 -> 1231
        {"C9F2C9CD04674EDEA40000000", "C9F2C9CD04674EDEA40000039"}, // 10^30 -> 10^30 + 57
    };
    for (const auto& c : cases)
        EXPECT_EQ(to_hex(f.find_prime(from_hex(c.start))), c.prime) << c.start;
}

TEST(PrimeFactory, FermatTest) {
    EXPECT_EQ(is_probable_prime(1229), 1);
    EXPECT_EQ(is_probable_prime(from_hex("C9F2C9CD04674EDEA40000039")), 1);
    EXPECT_EQ(is_probable_prime(1231 * 1237), 0);
    EXPECT_EQ(is_probable_prime(0), 0);
    EXPECT_EQ(is_probable_prime(1), 0);
    EXPECT_EQ(is_probable_prime(4), 0);
}

TEST(PrimeFactory, SeedTextIsABase256Number) {
    EXPECT_EQ(from_str("\x01\x02"), vlong(258));
    EXPECT_EQ(from_str(""), vlong(0));
    EXPECT_EQ(to_hex(from_str("\xFF\x80\x01")), "FF8001");
}

TEST(PrivateKey, ExponentStartsAt50001AndStaysPrimeToBothPrimesLessOne) {
    const struct {
        const char* pq;
        std::uint32_t e;
    } cases[] = {
        {"B#11", 50001}, // 10 and 16: 50001 = 3 * 7 * 2381 shares nothing
        {"D#11", 50003}, // 12 is a multiple of 3; 50003 = 31 * 1613
        {"11#D", 50003}, // the same with the primes swapped
        {"7#3F", 50005}, // 6 and 62: 3 and 31 exclude 50001 and 50003
    };
    for (const auto& c : cases) {
        private_key k;
        ASSERT_TRUE(k.MakePq(c.pq)) << c.pq;
        EXPECT_EQ(k.e, vlong(c.e)) << c.pq;
        EXPECT_EQ(k.m, k.p * k.q);
    }
}

TEST(PrivateKey, MakePqKeepsTheOrderRead) {
    private_key k;
    ASSERT_TRUE(k.MakePq("11#D"));
    EXPECT_EQ(k.p, vlong(17));
    EXPECT_EQ(k.q, vlong(13));
}

TEST(PrivateKey, MakePqRefusesFactorsTheExponentSearchCannotTake) {
    for (const char* text : {"0#11", "1#11", "11#1", "#11", "C#11", "11", ""}) {
        private_key k;
        EXPECT_FALSE(k.MakePq(text)) << text;
        EXPECT_EQ(k.m, vlong(0)) << text;
    }
}

TEST(PrivateKey, CreateGivesOrderedPrimesAndARoundTrip) {
    private_key k;
    ASSERT_TRUE(k.create("seed number two, which is the larger", "seed number one!"));
    EXPECT_TRUE(k.p < k.q);
    EXPECT_EQ(k.m, k.p * k.q);
    EXPECT_EQ(is_probable_prime(k.p), 1);
    EXPECT_EQ(is_probable_prime(k.q), 1);
    EXPECT_EQ(gcd(k.p - 1, k.e), vlong(1));
    EXPECT_EQ(gcd(k.q - 1, k.e), vlong(1));
    const vlong x = from_hex("123456789ABCDEF");
    EXPECT_EQ(k.decrypt(k.encrypt(x)), x);
}

TEST(PrivateKey, CreateRefusesEqualPrimes) {
    private_key k;
    EXPECT_FALSE(k.create("same seed", "same seed"));
    EXPECT_EQ(k.m, vlong(0));
}

// decrypt(encrypt(x)) = x for random x below m, whichever prime is the larger.
TEST(PrivateKey, DecryptInvertsEncryptForBothPrimeOrders) {
    const std::string text = test_key_pq;
    const std::size_t h = text.find('#');
    const std::string swapped = text.substr(h + 1) + "#" + text.substr(0, h);
    std::mt19937_64 rng(7);
    for (const std::string& pq : {text, swapped}) {
        private_key k;
        ASSERT_TRUE(k.MakePq(pq.c_str()));
        ASSERT_TRUE(k.can_decrypt());
        for (int i = 0; i < 8; ++i) {
            std::uint32_t units[32];
            for (auto& u : units)
                u = static_cast<std::uint32_t>(rng());
            vlong x;
            x.load(units, 32);
            x = x % k.m;
            EXPECT_EQ(k.decrypt(k.encrypt(x)), x) << to_hex(x);
        }
        EXPECT_EQ(k.decrypt(k.encrypt(0)), vlong(0));
        EXPECT_EQ(k.decrypt(k.encrypt(k.m - 1)), k.m - 1);
        EXPECT_EQ(k.decrypt(k.encrypt(k.p)), k.p);
    }
}

TEST(KeyText, WritesAndReadsBackPairs) {
    const struct {
        std::uint32_t x;
        std::uint32_t y;
        const char* text;
        std::uint32_t read_x;
        std::uint32_t read_y;
    } cases[] = {
        {255, 17, "FF#11", 255, 17},
        {0, 17, "#11", 0, 0}, // a "#" at position 0 is never the separator
        {255, 0, "FF#", 255, 0},
        {0xABCDEF01, 0x10, "ABCDEF01#10", 0xABCDEF01, 0x10},
    };
    for (const auto& c : cases) {
        char out[key_text_capacity];
        ASSERT_TRUE(vlong_pair_2_str(out, c.x, c.y));
        EXPECT_STREQ(out, c.text);
        vlong x = 99;
        vlong y = 99;
        str_2_vlong_pair(out, x, y);
        EXPECT_EQ(x, vlong(c.read_x)) << c.text;
        EXPECT_EQ(y, vlong(c.read_y)) << c.text;
    }
}

TEST(KeyText, ReadsCharactersByTheDigitRule) {
    vlong x;
    vlong y;
    EXPECT_TRUE(str_2_vlong_pair("ff#11", x, y));
    EXPECT_EQ(x, vlong(799)); // lower-case letters count 42 .. 47: 47 * 16 + 47
    EXPECT_EQ(y, vlong(17));
    EXPECT_TRUE(str_2_vlong_pair("1#2#3", x, y)); // the last "#" separates
    // "#" counts 35 - 48, wrapped to 32 bits: ((1 * 16) + 0xFFFFFFF3) * 16 + 2
    EXPECT_EQ(x, (vlong(16) + vlong(0xFFFFFFF3u)) * 16 + 2);
    EXPECT_EQ(y, vlong(3));
    EXPECT_FALSE(str_2_vlong_pair("ABCDEF", x, y));
    EXPECT_EQ(x, vlong(0));
    EXPECT_EQ(y, vlong(0));
    EXPECT_FALSE(str_2_vlong_pair(nullptr, x, y));
}

TEST(KeyText, LongestNumbersFitAndLongerOnesAreRefused) {
    const std::string d513(513, 'F');
    const std::string d514(514, 'F');
    vlong x;
    vlong y;
    EXPECT_TRUE(str_2_vlong_pair((d513 + "#" + d513).c_str(), x, y));
    EXPECT_EQ(x.bits(), 2052u);
    char out[key_text_capacity];
    ASSERT_TRUE(vlong_pair_2_str(out, x, y));
    EXPECT_EQ(std::string(out), d513 + "#" + d513);

    EXPECT_FALSE(str_2_vlong_pair((d514 + "#11").c_str(), x, y));
    EXPECT_EQ(x, vlong(0));
    EXPECT_FALSE(str_2_vlong_pair(("11#" + d514).c_str(), x, y));
    EXPECT_EQ(y, vlong(0));

    const vlong too_long = from_hex("1" + d513);
    EXPECT_FALSE(vlong_pair_2_str(out, too_long, 1));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(vlong_pair_2_str(out, 1, too_long));
    EXPECT_FALSE(vlong_pair_2_str(out, vlong(0) - vlong(1), 1));
}

} // namespace
