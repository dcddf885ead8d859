// Base64 texts from anywhere: decoding never fails, and encoding round-trips.
#include "base64.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = base64_decode(text);
    if (decoded.size() > size / 4 * 3 + 2)
        __builtin_trap();
    const std::string encoded = base64_encode(data, static_cast<unsigned int>(size));
    if (encoded.size() != (size + 2) / 3 * 4 || base64_decode(encoded) != text)
        __builtin_trap();
    // Decoding stops at the first character outside the alphabet.
    if (base64_decode(encoded + "!" + encoded) != text)
        __builtin_trap();
    return 0;
}
