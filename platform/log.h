#pragma once

#include <QString>

#include <exception>
#include <functional>

// The system log: one line per message on standard error, stamped with the time,
// the process name and its pid. Messages never carry a password or a token; callers
// write "***" in their place.
class Log {
public:
    using Sink = std::function<void(const QString&)>;

    // Writes one message. Never fails; a message with line breaks is written as is.
    static void write(const QString& message);

    // Replaces where messages go (tests capture them); an empty sink restores
    // standard error. Returns the previous sink.
    static Sink setSink(Sink sink);

    // The readable name of an exception's dynamic type, e.g. "std::runtime_error"; the
    // compiler's mangled name when it cannot be demangled.
    static QString exceptionName(const std::exception& exception);

    // Writes "OPERATION: caught NAME -- REASON" for an exception a guard swallowed.
    static void caught(const QString& operation, const std::exception& exception);
};
