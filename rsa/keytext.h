#pragma once

#include "vlong.h"

#include <cstddef>

// Key text: two non-negative numbers as "A#B", upper-case hexadecimal digits, most
// significant first, no leading zeros; zero has no digits.

// Most hexadecimal digits one number of a key text may have (2052 bits).
inline constexpr std::size_t key_text_max_digits = 513;
// Buffer size that holds any key text this engine writes: two numbers, "#" and NUL.
inline constexpr std::size_t key_text_capacity = 2 * key_text_max_digits + 2;

// Reads a key text into x (before the last "#") and y (after it). Each character counts by
// the digit rule: ch - 48 up to "9", otherwise ch - 55 (so "a".."f" read as 42 .. 47), as an
// unsigned 32-bit digit. Returns false, with x and y set to 0, when text is null, has no "#"
// after its first character, or a number has more than key_text_max_digits characters.
bool str_2_vlong_pair(const char* text, vlong& x, vlong& y);

// Writes the key text of x and y into out, which must hold key_text_capacity characters.
// Returns false and writes an empty text when a number is negative or needs more than
// key_text_max_digits digits.
bool vlong_pair_2_str(char* out, const vlong& x, const vlong& y);
