#include "arguments.h"

std::optional<Arguments> Arguments::parse(const QStringList& args, const QList<Option>& options,
                                          qsizetype parameterCount, QString* error) {
    Arguments parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
            parsed.m_parameters.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = arg.mid(2);
        QString value;
        bool inlineValue = false;
        if (const qsizetype equals = name.indexOf('='); equals >= 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
            inlineValue = true;
        }
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const Option& o) { return o.name == name; });
        if (option == options.end()) {
            *error = QStringLiteral("unknown option --%1").arg(name);
            return std::nullopt;
        }
        if (parsed.m_values.contains(name)) {
            *error = QStringLiteral("--%1 given twice").arg(name);
            return std::nullopt;
        }
        if (option->valueName.isEmpty()) {
            if (inlineValue) {
                *error = QStringLiteral("--%1 takes no value").arg(name);
                return std::nullopt;
            }
            value = QStringLiteral("");
        } else if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("--%1 needs a value").arg(name);
                return std::nullopt;
            }
            value = args[++i];
        }
        parsed.m_values.insert(name, value.isNull() ? QStringLiteral("") : value);
    }
    for (const Option& option : options) {
        if (option.required && !parsed.has(option.name)) {
            *error = QStringLiteral("--%1 is required").arg(option.name);
            return std::nullopt;
        }
    }
    // A negative count -n takes n or more parameters (a last parameter "NAME...").
    const qsizetype least = parameterCount < 0 ? -parameterCount : parameterCount;
    if (parsed.m_parameters.size() < least ||
        (parameterCount >= 0 && parsed.m_parameters.size() > parameterCount)) {
        *error = parsed.m_parameters.size() < least
                     ? QStringLiteral("missing argument")
                     : QStringLiteral("unexpected argument '%1'")
                           .arg(parsed.m_parameters.value(parameterCount));
        return std::nullopt;
    }
    return parsed;
}
