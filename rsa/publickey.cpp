#include "publickey.h"

#include "keytext.h"
#include "monty.h"

vlong public_key::encrypt(const vlong& plain) const {
    return modexp(plain, e, m);
}

bool public_key::MakeMe(const char* text) {
    return str_2_vlong_pair(text, m, e);
}

bool public_key::acceptable() const {
    const std::uint32_t bits = m.bits();
    return !m.is_negative() && m.test(0) == 1 && bits > 512 && bits <= 2048 && !e.is_negative() &&
           e.test(0) == 1;
}
