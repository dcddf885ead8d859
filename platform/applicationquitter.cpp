#include "applicationquitter.h"

#include "bundle.h"
#include "processtable.h"

#include <signal.h>
#include <unistd.h>

int ApplicationQuitter::quit(const QString& appPath) {
    const QString executable =
        Bundle(appPath).infoDictionary().value(QStringLiteral("CFBundleExecutable")).toString();
    if (executable.isEmpty())
        return 0;
    int signalled = 0;
    for (const pid_t pid : ProcessTable::pidsNamed(executable)) {
        if (pid == getpid())
            continue;
        if (kill(pid, SIGTERM) == 0)
            ++signalled;
    }
    return signalled;
}
