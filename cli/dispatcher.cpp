#include "dispatcher.h"

#include "log.h"
#include "session.h"
#include "tlstrust.h"

#include <QUrl>

namespace {

const QString globalUsage =
    QStringLiteral("usage: pikto [--service URL] [--ca FILE] [--login LOGIN] [--password-stdin] "
                   "[--verbose] COMMAND [ARGS]");

bool isHelp(const QStringList& args) {
    for (const QString& arg : args) {
        if (arg == QLatin1String("--"))
            return false;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            return true;
    }
    return false;
}

} // namespace

QString Dispatcher::usage(const Command& command) {
    QStringList parts{QStringLiteral("usage: pikto"), command.words().join(' ')};
    parts += command.parameters();
    for (const Arguments::Option& option : command.options()) {
        QString text = QStringLiteral("--") + option.name;
        if (!option.valueName.isEmpty())
            text += ' ' + option.valueName;
        parts.append(option.required ? text : QStringLiteral("[%1]").arg(text));
    }
    return parts.join(' ');
}

QString Dispatcher::help(const Command& command) {
    QString text = usage(command) + QStringLiteral("\n\n") + command.summary() + '\n';
    if (!command.details().isEmpty())
        text += '\n' + command.details() + '\n';
    return text;
}

QString Dispatcher::overview() const {
    QString text = globalUsage + QStringLiteral("\n\nCommands:\n");
    for (const auto& command : m_commands)
        text += QStringLiteral("  %1  %2\n")
                    .arg(command->words().join(' '), -14)
                    .arg(command->summary());
    text += QStringLiteral(
        "\nThe password comes from PIKTO_PASSWORD, or with --password-stdin from one line of\n"
        "standard input; never from the command line. An https:// service is checked against\n"
        "the system's certificate authorities, or only those of --ca FILE (or OVPIKTO_CA_FILE).\n"
        "'pikto COMMAND --help' tells more.\n"
        "Exit status: 0 done, 1-5 the service's result code, 64 usage error.\n");
    return text;
}

int Dispatcher::run(const QStringList& args) {
    ServiceUrls urls = m_defaultUrls;
    QString login;
    QString caFile = m_defaultCaFile;
    bool passwordFromStdin = false;
    bool verbose = false;
    QStringList rest;

    // Global options first, wherever they stand.
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--")) {
            rest += args.mid(i);
            break;
        }
        if (arg == QLatin1String("--service") || arg == QLatin1String("--login") ||
            arg == QLatin1String("--ca")) {
            if (i + 1 >= args.size())
                return Session::usageError(QStringLiteral("%1 needs a value").arg(arg));
            const QString value = args[++i];
            if (arg == QLatin1String("--login")) {
                login = value;
                continue;
            }
            if (arg == QLatin1String("--ca")) {
                caFile = value;
                continue;
            }
            const QUrl url(value, QUrl::StrictMode);
            const QString scheme = url.scheme().toLower();
            if (!url.isValid() || url.host().isEmpty() ||
                (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
                return Session::usageError(
                    QStringLiteral("not a service URL (http:// or https:// only): %1").arg(value));
            urls = ServiceUrls(value);
        } else if (arg == QLatin1String("--password-stdin")) {
            passwordFromStdin = true;
        } else if (arg == QLatin1String("--verbose")) {
            verbose = true;
        } else {
            rest.append(arg);
        }
    }
    if (!verbose)
        Log::setSink([](const QString&) {});
    if (!caFile.isEmpty()) {
        QString error;
        if (!TlsTrust::useAuthoritiesFrom(caFile, &error))
            return Session::usageError(error);
    }

    // The longest run of leading words that names a command.
    Command* chosen = nullptr;
    qsizetype wordCount = 0;
    for (const auto& command : m_commands) {
        const QStringList words = command->words();
        if (words.size() > wordCount && rest.mid(0, words.size()) == words) {
            chosen = command.get();
            wordCount = words.size();
        }
    }
    if (!chosen) {
        if (isHelp(rest.mid(0, 1))) {
            Session::print(overview());
            return ExitStatus::Ok;
        }
        std::fputs((globalUsage + QStringLiteral("\nrun 'pikto --help' for the commands\n"))
                       .toUtf8()
                       .constData(),
                   stderr);
        return Session::usageError(
            rest.isEmpty() ? QStringLiteral("no command given")
                           : QStringLiteral("unknown command '%1'").arg(rest.join(' ')));
    }

    const QStringList commandArgs = rest.mid(wordCount);
    if (isHelp(commandArgs)) {
        Session::print(help(*chosen));
        return ExitStatus::Ok;
    }
    QString error;
    // A last parameter named "NAME..." takes one or more values.
    const QStringList parameters = chosen->parameters();
    const qsizetype count =
        !parameters.isEmpty() && parameters.last().endsWith(QLatin1String("..."))
            ? -parameters.size()
            : parameters.size();
    const auto arguments = Arguments::parse(commandArgs, chosen->options(), count, &error);
    if (!arguments) {
        std::fputs((usage(*chosen) + '\n').toUtf8().constData(), stderr);
        return Session::usageError(QStringLiteral("%1: %2").arg(chosen->words().join(' '), error));
    }
    Session session(urls);
    session.login = login;
    session.passwordFromStdin = passwordFromStdin;
    return chosen->run(*arguments, session);
}
