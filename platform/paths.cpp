#include "paths.h"

#include <QDir>

namespace {
QString withSlash(QString path) {
    if (!path.endsWith('/'))
        path += '/';
    return path;
}
} // namespace

QString Paths::root() {
    const QString value = qEnvironmentVariable("OVPIKTO_ROOT");
    return withSlash(value.isEmpty() ? QStringLiteral("/") : value);
}

QString Paths::home() {
    QString value = qEnvironmentVariable("HOME");
    if (value.isEmpty())
        value = QDir::homePath();
    while (value.size() > 1 && value.endsWith('/'))
        value.chop(1);
    return value;
}

QString Paths::tempDir() {
    const QString value = qEnvironmentVariable("TMPDIR");
    return withSlash(value.isEmpty() ? QStringLiteral("/tmp/") : value);
}

QString Paths::resolve(const QString& path) {
    if (path == QLatin1String("~"))
        return home();
    if (path.startsWith(QLatin1String("~/")))
        return home() + path.mid(1);
    if (path == QLatin1String("/usr/bin/unzip") || !path.startsWith('/'))
        return path;
    return root() + path.mid(1);
}
