#pragma once

#include "vlong.h"

// The public half of an RSA key: modulus m and exponent e.
class public_key {
public:
    // Returns plain^e mod m.
    vlong encrypt(const vlong& plain) const;
    // Reads m and e from a key text "m#e"; returns what str_2_vlong_pair returns (false
    // leaves both 0).
    bool MakeMe(const char* text);
    // True when the key may encrypt: m odd, of 513 to 2048 bits (a 64-byte portion is below
    // m and a cipher fits 256 bytes), and e odd. Keys failing this are refused before any
    // arithmetic; a zero or even modulus or a zero exponent would never end in it.
    bool acceptable() const;

    vlong m;
    vlong e;
};
