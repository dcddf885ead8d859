#include "rsaencrypttext.h"

#include "base64.h"
#include "ccryptoproviderrsa.h"

#include <cstring>
#include <limits>
#include <vector>

bool rsa_encrypt_text(const char* key_text, const char* plain_text, char* out,
                      std::size_t out_capacity) {
    if (out != nullptr && out_capacity > 0)
        out[0] = '\0';
    if (key_text == nullptr || plain_text == nullptr || out == nullptr)
        return false;
    CCryptoProviderRSA provider;
    if (!provider.ImportPublicKey(key_text))
        return false;
    const unsigned long len = std::strlen(plain_text);
    std::vector<char> records(provider.EncryptedLengthBound(len));
    unsigned long n = 0;
    provider.Encrypt(plain_text, len, records.data(), n);
    if (n > std::numeric_limits<unsigned int>::max())
        return false;
    const std::string text = base64_encode(reinterpret_cast<const unsigned char*>(records.data()),
                                           static_cast<unsigned int>(n));
    if (text.size() >= out_capacity)
        return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}
