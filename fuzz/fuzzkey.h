#pragma once

// The fuzzers' fixed key: two 300-bit primes (a 600-bit modulus keeps each record cheap).
inline constexpr const char* fuzz_key_pq =
    "FAAF10F257BB9136CBE00D3F97720CFEA17A6C84EB441B14F315C158C26C19A784CF9134FF5"
    "#"
    "E259B4C48A0959FADC1196FCDC9B5522C2D4A2D4704499BD83FBBC396D3BA83EBDC928714A9";
