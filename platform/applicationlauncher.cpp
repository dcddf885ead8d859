#include "applicationlauncher.h"

#include "bundle.h"

#include <QFileInfo>
#include <QProcess>

QString ApplicationLauncher::executablePath(const QString& appPath) {
    const Bundle bundle(appPath);
    const QString name =
        bundle.infoDictionary().value(QStringLiteral("CFBundleExecutable")).toString();
    if (name.isEmpty() || name.contains('/'))
        return {};
    const QString path = bundle.contentsPath() + QStringLiteral("/MacOS/") + name;
    const QFileInfo file(path);
    if (!file.isFile() || !file.isExecutable())
        return {};
    return path;
}

bool ApplicationLauncher::activate(const QString& appPath, const QStringList& arguments) {
    const QString program = executablePath(appPath);
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments, QFileInfo(program).absolutePath());
}
