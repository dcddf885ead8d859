#include "ccryptoproviderrsa.h"

#include "keytext.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr unsigned long portion_size = 64;
constexpr unsigned long work_size = 256;

// Clears a byte buffer that held plaintext, in a way the compiler keeps.
void wipe_bytes(void* p, std::size_t n) {
    volatile unsigned char* v = static_cast<unsigned char*>(p);
    while (n > 0)
        v[--n] = 0;
}

void set_chain(unsigned char* chain, const unsigned char* cipher, unsigned long lc) {
    const unsigned long n = std::min(lc, portion_size);
    std::memcpy(chain, cipher, n);
    std::memset(chain + n, 0, portion_size - n);
}

// A number from n bytes, the first one most significant.
vlong load_big_endian(const unsigned char* in, unsigned long n) {
    unsigned char work[work_size + 4] = {};
    for (unsigned long i = 0; i < n; ++i)
        work[i] = in[n - 1 - i];
    std::uint32_t units[work_size / 4 + 1] = {};
    const unsigned long count = (n + 3) / 4;
    for (unsigned long i = 0; i < count; ++i) {
        units[i] = std::uint32_t{work[4 * i]} | std::uint32_t{work[4 * i + 1]} << 8 |
                   std::uint32_t{work[4 * i + 2]} << 16 | std::uint32_t{work[4 * i + 3]} << 24;
    }
    vlong x;
    x.load(units, static_cast<std::uint32_t>(count));
    wipe_bytes(work, sizeof work);
    wipe_bytes(units, sizeof units);
    return x;
}

// The low n bytes of x, most significant first.
void store_big_endian(const vlong& x, unsigned char* out, unsigned long n) {
    std::uint32_t units[work_size / 4] = {};
    const unsigned long count = (n + 3) / 4;
    x.store(units, static_cast<std::uint32_t>(count));
    for (unsigned long i = 0; i < n; ++i)
        out[n - 1 - i] = static_cast<unsigned char>(units[i / 4] >> (8 * (i % 4)));
    wipe_bytes(units, sizeof units);
}

std::uint16_t read_u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

} // namespace

CCryptoProviderRSA::~CCryptoProviderRSA() {
    wipe_bytes(encryption_chain, sizeof encryption_chain);
    wipe_bytes(decryption_chain, sizeof decryption_chain);
}

void CCryptoProviderRSA::DeriveKey() {
    char r1[38];
    char r2[38];
    do {
        GenRandomStr(r1, 37);
        GenRandomStr(r2, 37);
    } while (!key.create(r1, r2));
    wipe_bytes(r1, sizeof r1);
    wipe_bytes(r2, sizeof r2);
    ResetEncryption();
    ResetDecryption();
}

bool CCryptoProviderRSA::DeriveKeyFromRandomDevice(unsigned modulus_bits) {
    if (modulus_bits < 514 || modulus_bits > 2048)
        return false;
    const unsigned bits1 = modulus_bits / 2;
    const unsigned bits2 = modulus_bits - bits1;
    // A start with its two top bits set: the product of two such primes has exactly
    // bits1 + bits2 bits (unless the search crosses a power of two, which is drawn again).
    auto start = [](std::random_device& device, unsigned bits) {
        std::vector<std::uint32_t> units((bits + 31) / 32);
        for (auto& u : units)
            u = static_cast<std::uint32_t>(device());
        const unsigned excess = static_cast<unsigned>(units.size()) * 32 - bits;
        units.back() &= ~0u >> excess;
        for (const unsigned bit : {bits - 1, bits - 2})
            units[bit / 32] |= std::uint32_t{1} << (bit % 32);
        vlong x;
        x.load(units.data(), static_cast<std::uint32_t>(units.size()));
        wipe_units(units.data(), static_cast<std::uint32_t>(units.size()));
        return x;
    };
    try {
        std::random_device device;
        private_key fresh;
        for (;;) {
            const vlong s1 = start(device, bits1);
            const vlong s2 = start(device, bits2);
            if (fresh.create_from(s1, s2) && fresh.m.bits() == modulus_bits)
                break;
        }
        key = fresh;
    } catch (const std::exception&) {
        return false; // no random device
    }
    ResetEncryption();
    ResetDecryption();
    return true;
}

void CCryptoProviderRSA::Encrypt(const char* in, unsigned long len, char* out,
                                 unsigned long& out_len) {
    out_len = 0;
    if (!key.acceptable())
        return;
    auto* dst = reinterpret_cast<unsigned char*>(out);
    const auto* src = reinterpret_cast<const unsigned char*>(in);
    unsigned char x[portion_size];
    unsigned char cipher[work_size];
    while (len > 0) {
        const unsigned long l = std::min(len, portion_size);
        for (unsigned long i = 0; i < l; ++i)
            x[i] = src[i] ^ encryption_chain[i];
        unsigned long lc = 0;
        EncryptPortion(reinterpret_cast<const char*>(x), l, reinterpret_cast<char*>(cipher), lc);
        set_chain(encryption_chain, cipher, lc);
        unsigned char* record = dst + out_len;
        record[0] = static_cast<unsigned char>(l);
        record[1] = static_cast<unsigned char>(l >> 8);
        record[2] = static_cast<unsigned char>(lc);
        record[3] = static_cast<unsigned char>(lc >> 8);
        std::memcpy(record + 4, cipher, lc);
        out_len += 4 + lc;
        src += l;
        len -= l;
    }
    wipe_bytes(x, sizeof x);
}

void CCryptoProviderRSA::Decrypt(const char* in, unsigned long len, char* out,
                                 unsigned long& out_len) {
    out_len = 0;
    if (!key.can_decrypt())
        return;
    const auto* src = reinterpret_cast<const unsigned char*>(in);
    auto* dst = reinterpret_cast<unsigned char*>(out);
    while (len > 0) {
        if (len < 4)
            return;
        const unsigned long l = read_u16(src);
        const unsigned long lc = read_u16(src + 2);
        if (l == 0 || l > portion_size || lc > work_size || lc % 4 != 0)
            return;
        src += 4;
        len -= 4;
        if (len < lc)
            return;
        unsigned char cipher[work_size];
        std::memcpy(cipher, src, lc);
        unsigned long plain_len = l;
        DecryptPortion(reinterpret_cast<const char*>(cipher), lc, out + out_len, plain_len);
        for (unsigned long i = 0; i < l; ++i)
            dst[out_len + i] ^= decryption_chain[i];
        set_chain(decryption_chain, cipher, lc);
        out_len += l;
        src += lc;
        len -= lc;
    }
}

bool CCryptoProviderRSA::ExportPublicKey(char* out) {
    return key.MakeMeStr(out);
}

bool CCryptoProviderRSA::ImportPublicKey(const char* text) {
    const bool read = key.MakeMe(text);
    const bool ok = read && key.acceptable();
    if (!ok) {
        key.m = 0;
        key.e = 0;
    }
    ResetEncryption();
    return ok;
}

bool CCryptoProviderRSA::ExportPrivateKey(char* out) {
    return key.MakePqStr(out);
}

bool CCryptoProviderRSA::ImportPrivateKey(const char* text) {
    private_key read;
    bool ok = read.MakePq(text) && read.acceptable() && read.can_decrypt();
    key = ok ? read : private_key();
    ResetEncryption();
    ResetDecryption();
    return ok;
}

void CCryptoProviderRSA::ResetEncryption() {
    std::memset(encryption_chain, 0, portion_size);
}

void CCryptoProviderRSA::ResetDecryption() {
    std::memset(decryption_chain, 0, portion_size);
}

void CCryptoProviderRSA::GetBlockSize(int& a, int& b) {
    a = 0;
    b = 0;
}

void CCryptoProviderRSA::GenRandomStr(char* buf, int n) {
    for (int i = 0; i < n; ++i) {
        const char c = static_cast<char>(std::rand() & 0xFF);
        buf[i] = c == 0 ? 1 : c;
    }
    buf[n] = '\0';
}

bool CCryptoProviderRSA::EncryptPortion(const char* in, unsigned long len, char* out,
                                        unsigned long& out_len) {
    out_len = 0;
    if (len > portion_size || !key.acceptable())
        return false;
    const vlong number = load_big_endian(reinterpret_cast<const unsigned char*>(in), len);
    const vlong cv = key.encrypt(number);
    out_len = 4ul * cv.get_nunits();
    store_big_endian(cv, reinterpret_cast<unsigned char*>(out), out_len);
    return true;
}

bool CCryptoProviderRSA::DecryptPortion(const char* in, unsigned long len, char* out,
                                        unsigned long& out_len) {
    if (len > work_size || out_len > portion_size)
        return false;
    const vlong cipher = load_big_endian(reinterpret_cast<const unsigned char*>(in), len);
    const vlong plain = key.decrypt(cipher);
    store_big_endian(plain, reinterpret_cast<unsigned char*>(out), out_len);
    return true;
}

unsigned long CCryptoProviderRSA::EncryptedLengthBound(unsigned long len) const {
    if (!key.acceptable())
        return 0;
    const unsigned long records = (len + portion_size - 1) / portion_size;
    return records * (4 + 4ul * key.m.get_nunits());
}
