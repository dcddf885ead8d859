#pragma once

#include <QString>

// The integer a text starts with: optional white space, an optional sign, then decimal
// digits; 0 when the text does not start with a number. Values beyond 32 bits are
// clamped to the nearest 32-bit limit.
int leadingInteger(const QString& text);
