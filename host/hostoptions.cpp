#include "hostoptions.h"

#include "bundle.h"
#include "hostinstallation.h"
#include "paths.h"

#include <QDir>

std::optional<HostOptions> HostOptions::parse(const QStringList& arguments, QString* error) {
    HostOptions options;
    auto fail = [error](const QString& reason) -> std::optional<HostOptions> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--library") || argument == QLatin1String("--screenshot")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QLatin1String("--")))
                return fail(argument + QStringLiteral(" needs a value"));
            (argument == QLatin1String("--library") ? options.libraryDir : options.screenshotFile) =
                arguments.at(++i);
        } else if (argument == QLatin1String("--select")) {
            while (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--")))
                options.select << arguments.at(++i);
        } else if (argument == QLatin1String("--export")) {
            options.openExport = true;
        } else {
            return fail(QStringLiteral("unknown argument: ") + argument);
        }
    }
    if (options.libraryDir.isEmpty())
        options.libraryDir = Paths::home() + QStringLiteral("/Pictures");
    if (const auto main = Bundle::mainBundle())
        options.applicationPath = main->path();
    else
        options.applicationPath = HostInstallation::applicationPath();
    return options;
}

QString HostOptions::usage() {
    return QStringLiteral(
        "usage: iPhoto [--library DIR] [--select FILE...] [--export] [--screenshot FILE]");
}

QStringList HostOptions::selectedPaths() const {
    QStringList paths;
    const QDir library(libraryDir);
    for (const QString& file : select)
        paths << QDir::cleanPath(library.absoluteFilePath(file));
    return paths;
}
