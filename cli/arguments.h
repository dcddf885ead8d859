#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The arguments of one command: options ("--name VALUE", "--name=VALUE" or a flag
// "--name") and positional parameters, checked against what the command accepts.
class Arguments {
public:
    struct Option {
        QString name;      // without the leading dashes
        QString valueName; // shown in the usage; empty for a flag
        bool required = false;
    };

    // Parses `args`. Refuses (nothing, with `error` set) an unknown option, an option
    // without its value, a repeated option, a missing required option, and a number of
    // positional parameters other than `parameterCount` (a negative -n: fewer than n).
    // "--" ends the options.
    static std::optional<Arguments> parse(const QStringList& args, const QList<Option>& options,
                                          qsizetype parameterCount, QString* error);

    bool has(const QString& name) const { return m_values.contains(name); }
    // The option's value (empty for a flag); `fallback` when it was not given.
    QString value(const QString& name, const QString& fallback = {}) const {
        return m_values.value(name, fallback);
    }
    const QStringList& parameters() const { return m_parameters; }

private:
    QMap<QString, QString> m_values;
    QStringList m_parameters;
};
