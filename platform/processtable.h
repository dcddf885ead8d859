#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

// The processes of this machine by name, as the kernel lists them (/proc/*/comm).
// The kernel keeps at most 15 bytes of a name, so a longer name is compared by those.
class ProcessTable {
public:
    // The ids of the processes whose name is `name`; empty when there is none or
    // /proc cannot be read.
    static QList<pid_t> pidsNamed(const QString& name);
    // Whether a process named `name` exists.
    static bool isRunning(const QString& name);
};
