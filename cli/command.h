#pragma once

#include "arguments.h"

#include <QList>
#include <QString>
#include <QStringList>

class Session;

// Exit statuses of pikto besides the service result codes 1 to 5.
namespace ExitStatus {
constexpr int Ok = 0;
constexpr int Usage = 64;
} // namespace ExitStatus

// One command of pikto. The dispatcher selects it by its words, checks its arguments
// against `parameters()` and `options()`, answers --help from the same description,
// and only then calls `run`.
class Command {
public:
    virtual ~Command() = default;

    // The words that select the command, e.g. {"album", "create"}.
    virtual QStringList words() const = 0;
    // One line saying what it does.
    virtual QString summary() const = 0;
    // Names of the required positional parameters, in order (e.g. "ID").
    virtual QStringList parameters() const { return {}; }
    virtual QList<Arguments::Option> options() const { return {}; }
    // More help text after the usage line; may be empty.
    virtual QString details() const { return {}; }

    // Does the work; returns the exit status (0, a service result code, or 64).
    virtual int run(const Arguments& arguments, Session& session) = 0;
};
