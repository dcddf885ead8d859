// Record streams from the network: Decrypt must stop at anything Encrypt never makes and
// never write more than DecryptedLengthBound.
#include "ccryptoproviderrsa.h"
#include "fuzzkey.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CCryptoProviderRSA* provider = [] {
        auto* p = new CCryptoProviderRSA;
        if (!p->ImportPrivateKey(fuzz_key_pq))
            __builtin_trap();
        return p;
    }();
    provider->ResetDecryption();
    // Exactly the documented bound, so that AddressSanitizer sees any write past it.
    std::vector<char> out(CCryptoProviderRSA::DecryptedLengthBound(size));
    unsigned long n = 0;
    provider->Decrypt(reinterpret_cast<const char*>(data), size, out.data(), n);
    if (n > out.size())
        __builtin_trap();
    return 0;
}
