#pragma once

#include <QString>

#include <ostream>

// Shows Qt strings as text in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
