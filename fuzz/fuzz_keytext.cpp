// Key texts from the network: the reader, the writer and both key imports must refuse or
// accept without crashing, hanging or overflowing.
#include "ccryptoproviderrsa.h"
#include "keytext.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size); // ends at its first NUL
    vlong x;
    vlong y;
    if (str_2_vlong_pair(text.c_str(), x, y)) {
        char out[key_text_capacity];
        if (vlong_pair_2_str(out, x, y) && std::strlen(out) >= key_text_capacity)
            __builtin_trap();
    }
    CCryptoProviderRSA provider;
    if (provider.ImportPublicKey(text.c_str())) {
        const std::uint32_t bits = provider.GetKey().m.bits();
        if (bits <= 512 || bits > 2048 || provider.GetKey().e.test(0) == 0)
            __builtin_trap();
        // Exponents of up to 2052 bits: one short portion keeps a run quick.
        char records[4 + 256];
        unsigned long n = 0;
        if (provider.EncryptedLengthBound(5) > sizeof records)
            __builtin_trap();
        provider.Encrypt("login", 5, records, n);
    }
    if (size < 700 && provider.ImportPrivateKey(text.c_str())) {
        char out[key_text_capacity];
        if (!provider.ExportPrivateKey(out))
            __builtin_trap();
    }
    return 0;
}
