// The RSA engine beside OpenSSL's BN_mod_exp on the same operands. Names are
// "rsa/<case>/ours" and "rsa/<case>/openssl"; scripts/bench divides the two.
#include "ccryptoproviderrsa.h"
#include "keytext.h"
#include "monty.h"
#include "rsaencrypttext.h"

#include <benchmark/benchmark.h>
#include <openssl/bn.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

// A number and its OpenSSL twin, made from the same big-endian bytes.
struct Operand {
    vlong ours;
    Bn theirs{nullptr, &BN_free};
};

Operand operand_of(const std::vector<unsigned char>& be) {
    Operand o;
    o.theirs.reset(BN_bin2bn(be.data(), static_cast<int>(be.size()), nullptr));
    std::vector<std::uint32_t> units((be.size() + 3) / 4, 0);
    for (std::size_t i = 0; i < be.size(); ++i)
        units[i / 4] |= std::uint32_t{be[be.size() - 1 - i]} << (8 * (i % 4));
    o.ours.load(units.data(), static_cast<std::uint32_t>(units.size()));
    return o;
}

Operand operand_of(const vlong& x) {
    std::vector<std::uint32_t> units(x.get_nunits());
    x.store(units.data(), static_cast<std::uint32_t>(units.size()));
    std::vector<unsigned char> be(units.size() * 4);
    for (std::size_t i = 0; i < be.size(); ++i)
        be[be.size() - 1 - i] = static_cast<unsigned char>(units[i / 4] >> (8 * (i % 4)));
    return operand_of(be);
}

// Random bytes of exactly `bits` bits (top bit set), odd when asked.
std::vector<unsigned char> random_bits(std::mt19937& rng, unsigned bits, bool odd) {
    std::vector<unsigned char> be((bits + 7) / 8);
    for (auto& b : be)
        b = static_cast<unsigned char>(rng());
    const unsigned top = (bits - 1) % 8;
    be[0] = static_cast<unsigned char>((be[0] & ((2u << top) - 1)) | (1u << top));
    if (odd)
        be.back() |= 1;
    return be;
}

struct ModexpCase {
    Operand x;
    Operand e;
    Operand m;
};

ModexpCase modexp_case(unsigned bits) {
    std::mt19937 rng(bits);
    ModexpCase c;
    c.m = operand_of(random_bits(rng, bits, true));
    c.x = operand_of(random_bits(rng, bits - 1, false));
    c.e = operand_of(random_bits(rng, bits, false)); // full-size exponent
    return c;
}

void modexp_ours(benchmark::State& state, unsigned bits) {
    const ModexpCase c = modexp_case(bits);
    for (auto _ : state)
        benchmark::DoNotOptimize(modexp(c.x.ours, c.e.ours, c.m.ours));
}

void modexp_openssl(benchmark::State& state, unsigned bits) {
    const ModexpCase c = modexp_case(bits);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* r = BN_new();
    for (auto _ : state) {
        BN_mod_exp(r, c.x.theirs.get(), c.e.theirs.get(), c.m.theirs.get(), ctx);
        benchmark::DoNotOptimize(r);
    }
    BN_free(r);
    BN_CTX_free(ctx);
}

// rsa_encrypt_text of a 100-byte text under a 1024-bit key: two portions (64 + 36 bytes).
struct TextCase {
    std::string key_text;
    std::string plain;
    std::vector<Operand> portions; // the chained portions as numbers, for OpenSSL
    Operand e;
    Operand m;
};

const TextCase& text_case() {
    static const TextCase c = [] {
        TextCase t;
        CCryptoProviderRSA provider;
        provider.DeriveKeyFromRandomDevice(1024);
        char text[key_text_capacity];
        provider.ExportPublicKey(text);
        t.key_text = text;
        t.plain = std::string(100, 'x');
        t.e = operand_of(provider.GetKey().e);
        t.m = operand_of(provider.GetKey().m);
        // Portion numbers: the first unchained, the second XORed with the first cipher.
        unsigned char chain[64] = {};
        for (std::size_t at = 0; at < t.plain.size(); at += 64) {
            const std::size_t l = std::min<std::size_t>(64, t.plain.size() - at);
            std::vector<unsigned char> be(l);
            for (std::size_t i = 0; i < l; ++i)
                be[i] = static_cast<unsigned char>(t.plain[at + i]) ^ chain[i];
            t.portions.push_back(operand_of(be));
            char cipher[256];
            unsigned long lc = 0;
            provider.EncryptPortion(reinterpret_cast<const char*>(be.data()), l, cipher, lc);
            std::memset(chain, 0, sizeof chain);
            std::memcpy(chain, cipher, std::min<unsigned long>(lc, 64));
        }
        return t;
    }();
    return c;
}

void encrypt_text_ours(benchmark::State& state) {
    const TextCase& c = text_case();
    char out[1024];
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            rsa_encrypt_text(c.key_text.c_str(), c.plain.c_str(), out, sizeof out));
    }
}

void encrypt_text_openssl(benchmark::State& state) {
    const TextCase& c = text_case();
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* r = BN_new();
    for (auto _ : state) {
        for (const Operand& p : c.portions) {
            BN_mod_exp(r, p.theirs.get(), c.e.theirs.get(), c.m.theirs.get(), ctx);
            benchmark::DoNotOptimize(r);
        }
    }
    BN_free(r);
    BN_CTX_free(ctx);
}

const bool registered = [] {
    for (const unsigned bits : {1024u, 2048u}) {
        const std::string name = "rsa/modexp_" + std::to_string(bits);
        benchmark::RegisterBenchmark((name + "/ours").c_str(), modexp_ours, bits)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((name + "/openssl").c_str(), modexp_openssl, bits)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("rsa/encrypt_text_100B_1024/ours", encrypt_text_ours)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rsa/encrypt_text_100B_1024/openssl", encrypt_text_openssl)
        ->Unit(benchmark::kMicrosecond);
    return true;
}();

} // namespace

BENCHMARK_MAIN();
