#pragma once

#include "privatekey.h"

// Holds one RSA key and turns byte strings into record streams and back. A portion of up to
// 64 bytes is XORed with the previous cipher block of its direction (the chain), encrypted
// with the public key and framed as a record:
//   L (2 bytes, little-endian, 1 .. 64) | Lc (2 bytes, little-endian) | Lc cipher bytes,
// the cipher value big-endian in 4 * (its 32-bit unit count) bytes; Lc = 0 for the value 0.
// Encryption adds no randomness: the same key, chain and bytes always give the same records.
class CCryptoProviderRSA {
public:
    CCryptoProviderRSA() = default;
    virtual ~CCryptoProviderRSA();
    CCryptoProviderRSA(const CCryptoProviderRSA&) = delete;
    CCryptoProviderRSA& operator=(const CCryptoProviderRSA&) = delete;

    // New key pair from two 37-byte seeds of the process's rand (never seeded here, so every
    // process makes the same keys), then clears both chains. Draws again in the unlikely case
    // that both seeds lead to the same prime.
    virtual void DeriveKey();
    // Encrypts len bytes into out as a record stream; out_len is its length. out must hold
    // EncryptedLengthBound(len) bytes. Refuses (out_len = 0) when the public key is not
    // acceptable (public_key::acceptable).
    virtual void Encrypt(const char* in, unsigned long len, char* out, unsigned long& out_len);
    // Decrypts a record stream into out; out_len counts the bytes written. out must hold
    // DecryptedLengthBound(len) bytes. Stops at a record that is cut short or that Encrypt
    // never makes (L = 0 or above 64, Lc above 256 or not a multiple of 4); what was
    // decrypted before it stays. Refuses everything (out_len = 0) when the key cannot
    // decrypt (private_key::can_decrypt).
    virtual void Decrypt(const char* in, unsigned long len, char* out, unsigned long& out_len);
    // Writes the key text m#e into out (key_text_capacity = 1028 characters suffice).
    // Returns false and writes an empty text when the key does not fit the format.
    virtual bool ExportPublicKey(char* out);
    // Reads m and e from a key text (m first) and clears the encryption chain; p, q and the
    // decryption chain are untouched. Returns false, with m and e left 0 so that Encrypt
    // refuses, when the text is refused by str_2_vlong_pair or the key is not acceptable:
    // modulus 0, 1 or even, of 512 bits or less or above 2048 bits, exponent 0 or even.
    virtual bool ImportPublicKey(const char* text);
    // Writes the key text p#q into out; false and an empty text when it does not fit.
    virtual bool ExportPrivateKey(char* out);
    // Reads p and q from a key text, sets m = p * q and e from 50001 upwards, then clears both
    // chains. Returns false and leaves the key zero when the text is refused, p or q is not
    // odd above 1, p = q, or m is not acceptable.
    virtual bool ImportPrivateKey(const char* text);
    virtual void ResetEncryption();
    virtual void ResetDecryption();
    // Sets both to 0.
    virtual void GetBlockSize(int& a, int& b);

    // New key pair of exactly modulus_bits bits (514 .. 2048) from the system's random device,
    // with distinct primes, then clears both chains. Returns false (key untouched) for another
    // size or when the random device fails.
    bool DeriveKeyFromRandomDevice(unsigned modulus_bits = 1024);

    // One portion of len <= 64 bytes into its cipher bytes (big-endian) in out, out_len = Lc.
    // Returns false (out_len = 0) for len > 64 or a key that is not acceptable.
    bool EncryptPortion(const char* in, unsigned long len, char* out, unsigned long& out_len);
    // One record's len <= 256 cipher bytes into out_len (in: L, 0 .. 64) plaintext bytes.
    // Returns false (nothing written) for len > 256 or out_len > 64.
    bool DecryptPortion(const char* in, unsigned long len, char* out, unsigned long& out_len);
    // n random non-zero bytes from the process's rand into buf, then a NUL at buf[n].
    static void GenRandomStr(char* buf, int n);

    // Bytes Encrypt may write for len bytes under the current key (0 when it would refuse).
    unsigned long EncryptedLengthBound(unsigned long len) const;
    // Bytes Decrypt may write for a stream of len bytes.
    static unsigned long DecryptedLengthBound(unsigned long len) { return len / 4 * 64; }

    const private_key& GetKey() const { return key; }

private:
    private_key key;
    unsigned char encryption_chain[64] = {};
    unsigned char decryption_chain[64] = {};
};
