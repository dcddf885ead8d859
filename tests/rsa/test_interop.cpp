// Records made by rsa_encrypt_text, opened portion by portion with OpenSSL's raw RSA, and
// decrypt(encrypt(x)) = x under random keys.
#include "base64.h"
#include "ccryptoproviderrsa.h"
#include "hexnum.h"
#include "keytext.h"
#include "rsaencrypttext.h"
#include "testkey.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Bn bn_of(const vlong& x) {
    BIGNUM* b = nullptr;
    BN_hex2bn(&b, to_hex(x).c_str());
    return Bn(b, &BN_free);
}

// An OpenSSL key from n, e and d = e^-1 mod (p - 1)(q - 1).
std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> openssl_key(const private_key& k) {
    const Bn n = bn_of(k.m);
    const Bn e = bn_of(k.e);
    const Bn phi = bn_of((k.p - 1) * (k.q - 1));
    Bn d(BN_new(), &BN_free);
    BN_CTX* ctx = BN_CTX_new();
    BN_mod_inverse(d.get(), e.get(), phi.get(), ctx);
    BN_CTX_free(ctx);
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_D, d.get());
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
    EVP_PKEY_CTX* pctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* pkey = nullptr;
    EVP_PKEY_fromdata_init(pctx);
    EVP_PKEY_fromdata(pctx, &pkey, EVP_PKEY_KEYPAIR, params);
    EVP_PKEY_CTX_free(pctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    return {pkey, &EVP_PKEY_free};
}

// Raw RSA (no padding) of one big-endian cipher, as modulus-size big-endian bytes.
std::string raw_decrypt(EVP_PKEY* key, const std::string& cipher) {
    const auto size = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    std::string in = cipher.size() >= size ? cipher.substr(cipher.size() - size)
                                           : std::string(size - cipher.size(), '\0') + cipher;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    EVP_PKEY_decrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
    std::string out(size, '\0');
    std::size_t out_len = out.size();
    const int ok = EVP_PKEY_decrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &out_len,
                                    reinterpret_cast<const unsigned char*>(in.data()), in.size());
    EVP_PKEY_CTX_free(ctx);
    EXPECT_EQ(ok, 1);
    out.resize(out_len);
    return out;
}

// Opens a record stream with OpenSSL and undoes the chaining.
std::string open_records(EVP_PKEY* key, const std::string& records) {
    std::string plain;
    unsigned char chain[64] = {};
    std::size_t at = 0;
    while (at < records.size()) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(records[i]); };
        const unsigned l = byte(at) | byte(at + 1) << 8;
        const unsigned lc = byte(at + 2) | byte(at + 3) << 8;
        EXPECT_GE(l, 1u);
        EXPECT_LE(l, 64u);
        EXPECT_EQ(lc % 4, 0u);
        const std::string cipher = records.substr(at + 4, lc);
        const std::string full = raw_decrypt(key, cipher);
        std::string portion = full.substr(full.size() - l);
        for (unsigned i = 0; i < l; ++i)
            portion[i] = static_cast<char>(portion[i] ^ chain[i]);
        plain += portion;
        for (unsigned i = 0; i < 64; ++i)
            chain[i] = i < lc ? static_cast<unsigned char>(cipher[i]) : 0;
        at += 4 + lc;
    }
    return plain;
}

std::string random_text(std::mt19937& rng, std::size_t n) {
    std::string s(n, ' ');
    for (auto& c : s)
        c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(rng));
    return s;
}

TEST(Interop, OpenSslOpensRecordsOfRsaEncryptText) {
    std::mt19937 rng(11);
    // Random keys of odd sizes, and a fixed key of the largest size.
    for (const unsigned bits : {520u, 1000u, 1024u, 2048u}) {
        CCryptoProviderRSA provider;
        if (bits == 2048)
            ASSERT_TRUE(provider.ImportPrivateKey(test_key_2048_pq));
        else
            ASSERT_TRUE(provider.DeriveKeyFromRandomDevice(bits));
        ASSERT_EQ(provider.GetKey().m.bits(), bits);
        char key_text[key_text_capacity];
        ASSERT_TRUE(provider.ExportPublicKey(key_text));
        const auto key = openssl_key(provider.GetKey());
        ASSERT_NE(key.get(), nullptr);
        for (const std::size_t len : {1u, 64u, 65u, 300u}) {
            const std::string plain = random_text(rng, len);
            std::vector<char> out(4 * ((len + 63) / 64 * 260 / 3 + 1) + 1);
            ASSERT_TRUE(rsa_encrypt_text(key_text, plain.c_str(), out.data(), out.size()));
            const std::string records = base64_decode(out.data());
            EXPECT_EQ(open_records(key.get(), records), plain) << bits << " bits, " << len;
        }
    }
}

TEST(Interop, SignInSizedTextsFitTheDocumentedBuffers) {
    // For a 1024-bit modulus a text of up to 64 bytes needs at most 176 characters and five
    // records at most 880.
    CCryptoProviderRSA provider;
    ASSERT_TRUE(provider.DeriveKeyFromRandomDevice(1024));
    char key_text[key_text_capacity];
    ASSERT_TRUE(provider.ExportPublicKey(key_text));
    char out[881];
    EXPECT_TRUE(rsa_encrypt_text(key_text, std::string(64, 'c').c_str(), out, 177));
    EXPECT_TRUE(rsa_encrypt_text(key_text, std::string(320, 'c').c_str(), out, sizeof out));
}

TEST(Interop, DecryptInvertsEncryptUnderRandomKeys) {
    std::mt19937 rng(12);
    for (int round = 0; round < 3; ++round) {
        CCryptoProviderRSA provider;
        ASSERT_TRUE(provider.DeriveKeyFromRandomDevice(round % 2 == 0 ? 1024 : 640));
        for (int i = 0; i < 4; ++i) {
            const std::size_t len = std::uniform_int_distribution<std::size_t>(0, 400)(rng);
            std::string plain = random_text(rng, len);
            if (i == 0 && len > 10)
                plain.replace(0, 10, 10, '\0'); // leading zero bytes survive
            std::vector<char> records(provider.EncryptedLengthBound(len));
            unsigned long n = 0;
            provider.Encrypt(plain.data(), len, records.data(), n);
            std::vector<char> back(CCryptoProviderRSA::DecryptedLengthBound(n));
            unsigned long m = 0;
            provider.Decrypt(records.data(), n, back.data(), m);
            EXPECT_EQ(std::string(back.data(), m), plain) << "round " << round << ", " << len;
        }
    }
}

} // namespace
