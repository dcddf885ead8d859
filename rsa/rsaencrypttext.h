#pragma once

#include <cstddef>

// Encrypts plain_text (up to its first NUL) under the public key text key_text ("m#e",
// upper-case hexadecimal) with a fresh provider, and writes the Base64 text of the record
// stream, NUL-terminated, into out. Returns true when written. Returns false, writing ""
// when out_capacity > 0, when an argument is null, the key is refused
// (CCryptoProviderRSA::ImportPublicKey) or the text and its NUL do not fit out_capacity.
// Never writes past out_capacity.
bool rsa_encrypt_text(const char* key_text, const char* plain_text, char* out,
                      std::size_t out_capacity);
