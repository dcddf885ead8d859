#pragma once

#include "publickey.h"

// An RSA key pair: the public half and the two primes. After create, p < q and m = p * q.
// The private exponent is derived from e, p and q at every decryption.
class private_key : public public_key {
public:
    // Generates p and q from two NUL-terminated seed texts (the first probable primes at or
    // above their base-256 values), m = p * q and e (the first odd number from 50001 that is
    // prime to p - 1 and q - 1). Returns false and leaves the key zero when the seeds lead to
    // equal primes.
    bool create(const char* r1, const char* r2);
    // The same from two starting numbers (> 1) instead of seed texts.
    bool create_from(const vlong& start1, const vlong& start2);
    // Returns c^d mod m by the Chinese remainder theorem, d = e^-1 mod (p - 1)(q - 1). The
    // result is meaningless (but defined) for a key that can_decrypt() refuses.
    vlong decrypt(const vlong& c) const;
    // Reads p and q (in that order) from a key text "p#q" and sets m = p * q and e as create
    // does. Returns false and leaves the key zero when the text is refused by
    // str_2_vlong_pair or p or q is not an odd number above 1 (the exponent search would not
    // end for p or q of 0 or 1).
    bool MakePq(const char* text);
    // Write the key texts p#q and m#e into out (key_text_capacity characters); false and an
    // empty text when a number does not fit.
    bool MakePqStr(char* out) const;
    bool MakeMeStr(char* out) const;
    // True when decrypt gives the inverse of encrypt: p and q odd, above 1, distinct, and
    // e odd and prime to (p - 1)(q - 1).
    bool can_decrypt() const;

    vlong p;
    vlong q;

private:
    void choose_exponent();
    void clear_key();
};
