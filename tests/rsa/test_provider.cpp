// The record stream, its chaining, key import refusals, Base64 and rsa_encrypt_text.
#include "base64.h"
#include "ccryptoproviderrsa.h"
#include "hexnum.h"
#include "keytext.h"
#include "rsaencrypttext.h"
#include "testkey.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string bytes(const char* data, unsigned long n) {
    return std::string(data, n);
}

// A provider holding the fixed 1024-bit key, ready for both directions.
class Provider : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(provider.ImportPrivateKey(test_key_pq)); }

    std::string encrypt(CCryptoProviderRSA& p, const std::string& plain) {
        std::vector<char> out(p.EncryptedLengthBound(plain.size()) + 1);
        unsigned long n = 0;
        p.Encrypt(plain.data(), plain.size(), out.data(), n);
        EXPECT_LE(n, out.size() - 1);
        return bytes(out.data(), n);
    }

    std::string decrypt(CCryptoProviderRSA& p, const std::string& records) {
        std::vector<char> out(CCryptoProviderRSA::DecryptedLengthBound(records.size()) + 1);
        unsigned long n = 0;
        p.Decrypt(records.data(), records.size(), out.data(), n);
        return bytes(out.data(), n);
    }

    std::string public_text() {
        char text[key_text_capacity];
        EXPECT_TRUE(provider.ExportPublicKey(text));
        return text;
    }

    CCryptoProviderRSA provider;
};

unsigned record_l(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}
unsigned record_lc(const std::string& s, std::size_t at) {
    return record_l(s, at + 2);
}

TEST_F(Provider, EmptyTextGivesNoRecords) {
    EXPECT_EQ(encrypt(provider, ""), "");
    char out[8] = "xxxxxxx";
    EXPECT_TRUE(rsa_encrypt_text(public_text().c_str(), "", out, sizeof out));
    EXPECT_STREQ(out, "");
}

TEST_F(Provider, SixtyFourBytesMakeOneRecordAndSixtyFiveMakeTwo) {
    const std::string r64 = encrypt(provider, std::string(64, 'a'));
    ASSERT_EQ(r64.size(), 4u + record_lc(r64, 0));
    EXPECT_EQ(record_l(r64, 0), 64u);
    provider.ResetEncryption();
    const std::string r65 = encrypt(provider, std::string(65, 'a'));
    const std::size_t second = 4 + record_lc(r65, 0);
    ASSERT_EQ(r65.size(), second + 4 + record_lc(r65, second));
    EXPECT_EQ(record_l(r65, 0), 64u);
    EXPECT_EQ(record_l(r65, second), 1u);
    EXPECT_EQ(r65.substr(0, second), r64); // the same first portion after a reset
}

TEST_F(Provider, FullPortionUnderA1024BitKeyCarries128CipherBytes) {
    const std::string r = encrypt(provider, std::string(64, '\x5A'));
    ASSERT_EQ(r.size(), 132u);
    EXPECT_EQ(r.substr(0, 4), std::string("\x40\x00\x80\x00", 4));
}

TEST_F(Provider, CipherBelow2To992Carries124Bytes) {
    // Exponent 3 and a portion of 41 significant bytes: the cipher has 961 .. 984 bits.
    const std::string text = public_text();
    const std::string m = text.substr(0, text.find('#'));
    CCryptoProviderRSA p;
    ASSERT_TRUE(p.ImportPublicKey((m + "#3").c_str()));
    std::string portion(23, '\0');
    portion += std::string(41, '\x7F');
    const std::string r = encrypt(p, portion);
    ASSERT_EQ(r.size(), 128u);
    EXPECT_EQ(r.substr(0, 4), std::string("\x40\x00\x7C\x00", 4));
    // The cipher is the cube, big-endian with its leading zero bytes up to the unit.
    const vlong x = from_hex(std::string(82, 'F').replace(0, 82, [] {
        std::string h;
        for (int i = 0; i < 41; ++i)
            h += "7F";
        return h;
    }()));
    const vlong cube = x * x * x;
    EXPECT_EQ(cube.get_nunits(), 31u);
    std::string expected;
    std::vector<std::uint32_t> units(31);
    cube.store(units.data(), 31);
    for (int i = 30; i >= 0; --i)
        for (int s = 24; s >= 0; s -= 8)
            expected += static_cast<char>(units[i] >> s);
    EXPECT_EQ(r.substr(4), expected);
}

TEST_F(Provider, ZeroPortionGivesAnEmptyCipherAndAZeroChain) {
    const std::string zeros(64, '\0');
    const std::string r = encrypt(provider, zeros + "abc");
    ASSERT_GE(r.size(), 8u);
    EXPECT_EQ(r.substr(0, 4), std::string("\x40\x00\x00\x00", 4));
    CCryptoProviderRSA fresh;
    ASSERT_TRUE(fresh.ImportPublicKey(public_text().c_str()));
    EXPECT_EQ(r.substr(4), encrypt(fresh, "abc")); // chained with 64 zero bytes
    EXPECT_EQ(decrypt(provider, r), zeros + "abc");
}

TEST_F(Provider, ChainCarriesAcrossEncryptCalls) {
    CCryptoProviderRSA fresh;
    ASSERT_TRUE(fresh.ImportPublicKey(public_text().c_str()));
    const std::string first = encrypt(provider, "credentials");
    const std::string second = encrypt(provider, "credentials");
    EXPECT_EQ(first, encrypt(fresh, "credentials"));
    EXPECT_NE(second, first);
    // The second text's portion is XORed with the first cipher bytes.
    std::string chained = "credentials";
    for (std::size_t i = 0; i < chained.size(); ++i)
        chained[i] = static_cast<char>(chained[i] ^ first[4 + i]);
    CCryptoProviderRSA manual;
    ASSERT_TRUE(manual.ImportPublicKey(public_text().c_str()));
    EXPECT_EQ(second, encrypt(manual, chained));
    // One Decrypt unchains the concatenation.
    EXPECT_EQ(decrypt(provider, first + second), "credentialscredentials");
    provider.ResetEncryption();
    EXPECT_EQ(encrypt(provider, "credentials"), first);
}

TEST_F(Provider, DecryptKeepsLeadingZeroBytes) {
    const std::string plain = std::string(5, '\0') + "tail" + std::string(200, 'x');
    EXPECT_EQ(decrypt(provider, encrypt(provider, plain)), plain);
}

TEST_F(Provider, DecryptStopsAtRecordsEncryptNeverMakes) {
    const std::string good = encrypt(provider, "first");
    const std::string cipher = good.substr(4);
    const struct {
        const char* name;
        std::string bad;
        bool at_end; // a cut record can only be the last one
    } cases[] = {
        {"L = 0", std::string("\x00\x00\x80\x00", 4) + cipher, false},
        {"L = 65", std::string("\x41\x00\x80\x00", 4) + cipher, false},
        {"Lc = 260", std::string("\x05\x00\x04\x01", 4) + std::string(260, '\x01'), false},
        {"Lc = 126", std::string("\x05\x00\x7E\x00", 4) + cipher.substr(0, 126), false},
        {"header cut", std::string("\x05\x00\x80", 3), true},
        {"cipher cut", good.substr(0, 60), true},
    };
    for (const auto& c : cases) {
        CCryptoProviderRSA p;
        ASSERT_TRUE(p.ImportPrivateKey(test_key_pq));
        EXPECT_EQ(decrypt(p, good + c.bad + (c.at_end ? "" : good)), "first") << c.name;
    }
}

TEST_F(Provider, DecryptNeedsAPrivateKey) {
    CCryptoProviderRSA p;
    ASSERT_TRUE(p.ImportPublicKey(public_text().c_str()));
    const std::string records = encrypt(p, "secret");
    EXPECT_EQ(decrypt(p, records), "");
    CCryptoProviderRSA empty;
    EXPECT_EQ(decrypt(empty, records), "");
}

TEST_F(Provider, KeyTextsRoundTrip) {
    char pq[key_text_capacity];
    ASSERT_TRUE(provider.ExportPrivateKey(pq));
    EXPECT_STREQ(pq, test_key_pq);
    CCryptoProviderRSA other;
    ASSERT_TRUE(other.ImportPrivateKey(pq));
    char me[key_text_capacity];
    ASSERT_TRUE(other.ExportPublicKey(me));
    EXPECT_EQ(std::string(me), public_text());
    int a = 7;
    int b = 7;
    provider.GetBlockSize(a, b);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
}

std::string odd_modulus_of_bits(unsigned bits) {
    std::string hex(1, "1248"[(bits - 1) % 4]);
    hex += std::string((bits - 1) / 4, '0');
    hex.back() = hex.size() == 1 ? hex.back() : '1';
    return hex;
}

TEST(ProviderKeys, ImportPublicKeyRefusesKeysEncryptionCannotTake) {
    const std::string m1024 = odd_modulus_of_bits(1024);
    const struct {
        const char* name;
        std::string text;
    } refused[] = {
        {"empty", ""},
        {"no separator", m1024},
        {"separator first", "#" + m1024},
        {"modulus 0", "0#11"},
        {"modulus 1", "1#11"},
        {"even modulus", m1024.substr(0, m1024.size() - 1) + "2#11"},
        {"512 bits", odd_modulus_of_bits(512) + "#11"},
        {"2049 bits", odd_modulus_of_bits(2049) + "#11"},
        {"exponent 0", m1024 + "#0"},
        {"no exponent", m1024 + "#"},
        {"even exponent", m1024 + "#10"},
        {"514 digits", "1" + std::string(512, '0') + "1#11"},
    };
    for (const auto& c : refused) {
        CCryptoProviderRSA p;
        EXPECT_FALSE(p.ImportPublicKey(c.text.c_str())) << c.name;
        EXPECT_EQ(p.EncryptedLengthBound(10), 0u) << c.name;
        char out[600];
        unsigned long n = 99;
        p.Encrypt("0123456789", 10, out, n);
        EXPECT_EQ(n, 0u) << c.name;
        char text[16] = "unchanged";
        EXPECT_FALSE(rsa_encrypt_text(c.text.c_str(), "login", text, sizeof text)) << c.name;
        EXPECT_STREQ(text, "") << c.name;
    }
    for (const unsigned bits : {513u, 1024u, 2048u}) {
        CCryptoProviderRSA p;
        EXPECT_TRUE(p.ImportPublicKey((odd_modulus_of_bits(bits) + "#3").c_str())) << bits;
    }
}

TEST(ProviderKeys, ImportPrivateKeyRefusesUnusableFactors) {
    const std::string text = test_key_pq;
    const std::string p = text.substr(0, text.find('#'));
    for (const std::string& bad :
         {p + "#" + p, std::string("11#D"), "0#" + p, p + "#2", std::string("no key")}) {
        CCryptoProviderRSA provider;
        EXPECT_FALSE(provider.ImportPrivateKey(bad.c_str())) << bad;
        char out[key_text_capacity];
        EXPECT_TRUE(provider.ExportPrivateKey(out));
        EXPECT_STREQ(out, "#"); // the key is zero
    }
}

TEST(ProviderKeys, DeriveKeyFromRandEveryProcessAlike) {
    CCryptoProviderRSA p;
    p.DeriveKey();
    const private_key& k = p.GetKey();
    EXPECT_GE(k.m.bits(), 577u);
    EXPECT_LE(k.m.bits(), 592u);
    EXPECT_TRUE(k.p < k.q);
    EXPECT_TRUE(k.e >= 50001);
    char buf[38];
    CCryptoProviderRSA::GenRandomStr(buf, 37);
    EXPECT_EQ(std::strlen(buf), 37u); // no NUL inside
    unsigned long n = 0;
    std::vector<char> records(p.EncryptedLengthBound(100));
    const std::string plain(100, 'k');
    p.Encrypt(plain.data(), plain.size(), records.data(), n);
    std::vector<char> back(CCryptoProviderRSA::DecryptedLengthBound(n));
    unsigned long m = 0;
    p.Decrypt(records.data(), n, back.data(), m);
    EXPECT_EQ(std::string(back.data(), m), plain);
}

TEST(ProviderKeys, DeriveKeyFromRandomDeviceMakesDistinctKeysOfTheSizeAsked) {
    CCryptoProviderRSA a;
    CCryptoProviderRSA b;
    ASSERT_TRUE(a.DeriveKeyFromRandomDevice());
    ASSERT_TRUE(b.DeriveKeyFromRandomDevice(520));
    EXPECT_EQ(a.GetKey().m.bits(), 1024u);
    EXPECT_EQ(b.GetKey().m.bits(), 520u);
    EXPECT_TRUE(a.GetKey().p != a.GetKey().q);
    EXPECT_TRUE(a.GetKey().can_decrypt());
    CCryptoProviderRSA c;
    ASSERT_TRUE(c.DeriveKeyFromRandomDevice());
    EXPECT_TRUE(a.GetKey().m != c.GetKey().m);
    EXPECT_FALSE(c.DeriveKeyFromRandomDevice(512));
    EXPECT_FALSE(c.DeriveKeyFromRandomDevice(2050));
    char text[key_text_capacity];
    ASSERT_TRUE(a.ExportPublicKey(text));
    EXPECT_LE(std::strlen(text), 256u + 1 + 8);
}

TEST(Base64, EncodesTheStandardVectors) {
    const struct {
        const char* plain;
        const char* encoded;
    } cases[] = {
        {"", ""},
        {"a", "YQ=="},
        {"ab", "YWI="},
        {"abc", "YWJj"},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(base64_encode(reinterpret_cast<const unsigned char*>(c.plain),
                                static_cast<unsigned int>(std::strlen(c.plain))),
                  c.encoded);
        EXPECT_EQ(base64_decode(c.encoded), c.plain);
    }
    const unsigned char high[] = {0xFB, 0xFF, 0xBF, 0x00};
    EXPECT_EQ(base64_encode(high, 4), "+/+/AA==");
    EXPECT_EQ(base64_decode("+/+/AA=="), std::string("\xFB\xFF\xBF\x00", 4));
}

TEST(Base64, DecodingStopsAtTheFirstOtherCharacter) {
    EXPECT_EQ(base64_decode("YWI=garbage"), "ab");
    EXPECT_EQ(base64_decode("YWJj YWJj"), "abc");
    EXPECT_EQ(base64_decode("YWJj\nYWJj"), "abc");
    EXPECT_EQ(base64_decode("YW"), "a");      // a final group of k characters gives k - 1 bytes
    EXPECT_EQ(base64_decode("YWJjY"), "abc"); // a lone final character gives nothing
    EXPECT_EQ(base64_decode("YWJ\xC3\xA9"), "ab");
    EXPECT_EQ(base64_decode(std::string("YW\0Jj", 5)), "a");
}

TEST(RsaEncryptText, NeverWritesPastTheCapacity) {
    CCryptoProviderRSA key;
    ASSERT_TRUE(key.ImportPrivateKey(test_key_pq));
    char text[key_text_capacity];
    ASSERT_TRUE(key.ExportPublicKey(text));
    const std::string plain(65, 'p'); // two records: 132 + 132 bytes, 352 characters
    std::vector<char> out(400, '#');
    ASSERT_TRUE(rsa_encrypt_text(text, plain.c_str(), out.data(), out.size()));
    const std::string encoded = out.data();
    EXPECT_EQ(encoded.size(), 352u);
    std::vector<char> exact(353, '#');
    exact.push_back('!');
    EXPECT_TRUE(rsa_encrypt_text(text, plain.c_str(), exact.data(), 353));
    EXPECT_EQ(std::string(exact.data()), encoded); // a fresh provider every call
    EXPECT_EQ(exact[353], '!');
    std::vector<char> short_by_one(353, '#');
    EXPECT_FALSE(rsa_encrypt_text(text, plain.c_str(), short_by_one.data(), 352));
    EXPECT_EQ(short_by_one[0], '\0');
    EXPECT_EQ(short_by_one[1], '#');
    EXPECT_FALSE(rsa_encrypt_text(text, plain.c_str(), nullptr, 0));
    EXPECT_FALSE(rsa_encrypt_text(nullptr, plain.c_str(), out.data(), out.size()));
    EXPECT_FALSE(rsa_encrypt_text(text, nullptr, out.data(), out.size()));
    // The records decrypt to the text.
    const std::string records = base64_decode(encoded);
    std::vector<char> back(CCryptoProviderRSA::DecryptedLengthBound(records.size()));
    unsigned long n = 0;
    key.Decrypt(records.data(), records.size(), back.data(), n);
    EXPECT_EQ(std::string(back.data(), n), plain);
}

} // namespace
