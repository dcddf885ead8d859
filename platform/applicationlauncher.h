#pragma once

#include <QString>
#include <QStringList>

// "Tell application … to activate": starts an application bundle from its path.
class ApplicationLauncher {
public:
    // Starts Contents/MacOS/<CFBundleExecutable> of the bundle at `appPath` as a
    // detached process (it outlives the caller), with the bundle's MacOS folder as
    // working directory and `arguments`. Returns false when the bundle names no
    // executable, the file is not there or the process could not start.
    static bool activate(const QString& appPath, const QStringList& arguments = {});
    // The executable that activate() would start; a null string when there is none.
    static QString executablePath(const QString& appPath);
};
