#include "processtable.h"

#include <QDir>
#include <QFile>

namespace {
// What the kernel keeps of a process name: its first 15 bytes.
QByteArray kernelName(const QString& name) {
    return name.toUtf8().left(15);
}
} // namespace

QList<pid_t> ProcessTable::pidsNamed(const QString& name) {
    QList<pid_t> pids;
    const QByteArray wanted = kernelName(name);
    if (wanted.isEmpty())
        return pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        // A process may end between the listing and the read: skip it.
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        if (comm.readAll().trimmed() == wanted)
            pids.append(pid);
    }
    return pids;
}

bool ProcessTable::isRunning(const QString& name) {
    return !pidsNamed(name).isEmpty();
}
