#include "updateinstaller.h"

#include "log.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

const QString UpdateInstaller::pluginBundleName = QStringLiteral("Ov.Pikto.Export.iPhotoExporter");
const QString UpdateInstaller::applicationFolderName = QStringLiteral("Оврана.Пикто");

namespace {

QString sibling(const QString& target, const QString& suffix) {
    const QFileInfo info(target);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + suffix +
           QString::number(QCoreApplication::applicationPid());
}

bool holdsLink(const QString& folder) {
    if (QFileInfo(folder).isSymLink())
        return true;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (it.nextFileInfo().isSymLink())
            return true;
    }
    return false;
}

// Copies a folder tree; false at the first entry that cannot be copied.
bool copyTree(const QString& source, const QString& target) {
    if (!QDir().mkdir(target))
        return false;
    QDir from(source);
    const QFileInfoList entries =
        from.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString to = target + QLatin1Char('/') + entry.fileName();
        if (entry.isSymLink())
            return false;
        if (entry.isDir()) {
            if (!copyTree(entry.filePath(), to))
                return false;
        } else if (!QFile::copy(entry.filePath(), to)) {
            return false;
        }
    }
    return true;
}

bool removeTree(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

bool exists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

UpdateInstaller::UpdateInstaller()
    : m_rename([](const QByteArray& from, const QByteArray& to) {
          return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
      }) {}

int UpdateInstaller::rename(const QString& from, const QString& to) const {
    return m_rename(QFile::encodeName(from), QFile::encodeName(to));
}

QString UpdateInstaller::stage(const QString& source, const QString& target, QString* reason) {
    const QString staged = sibling(target, QStringLiteral(".new-"));
    if (!removeTree(staged)) {
        *reason = QStringLiteral("cannot clear %1").arg(staged);
        return {};
    }
    const int error = rename(source, staged);
    if (error == 0)
        return staged;
    if (error == EXDEV) {
        if (copyTree(source, staged))
            return staged;
        removeTree(staged);
        *reason = QStringLiteral("cannot copy %1 to %2").arg(source, staged);
        return {};
    }
    *reason = QStringLiteral("cannot move %1 to %2: %3")
                  .arg(source, staged, QString::fromLocal8Bit(std::strerror(error)));
    return {};
}

QString UpdateInstaller::install(const QString& unpacked, const QString& pluginFolder,
                                 const QString& applicationFolder) {
    struct Swap {
        QString source;
        QString target;
        QString staged;
        QString aside;
        bool movedAside = false;
        bool movedIn = false;
    };
    Swap swaps[2] = {
        {unpacked + QLatin1Char('/') + pluginBundleName,
         pluginFolder + QLatin1Char('/') + pluginBundleName,
         {},
         {}},
        {unpacked + QLatin1Char('/') + applicationFolderName, applicationFolder, {}, {}},
    };
    for (const Swap& swap : swaps) {
        const QFileInfo source(swap.source);
        if (!source.isDir() || source.isSymLink())
            return QStringLiteral("the archive holds no folder \"%1\"").arg(source.fileName());
        if (holdsLink(swap.source))
            return QStringLiteral("the folder \"%1\" holds a symbolic link").arg(source.fileName());
    }

    QString reason;
    // Puts back whatever was done so far; the installed folders end as they were.
    const auto rollBack = [&]() {
        for (int i = 1; i >= 0; --i) {
            Swap& swap = swaps[i];
            if (swap.movedIn && rename(swap.target, swap.staged) != 0)
                Log::write(
                    QStringLiteral("installUnpackedUpdate: cannot take back %1").arg(swap.target));
            if (swap.movedAside && rename(swap.aside, swap.target) != 0)
                Log::write(QStringLiteral("installUnpackedUpdate: cannot restore %1 from %2")
                               .arg(swap.target, swap.aside));
            if (!swap.staged.isEmpty())
                removeTree(swap.staged);
        }
        return reason;
    };

    for (Swap& swap : swaps) {
        if (!QDir().mkpath(QFileInfo(swap.target).absolutePath())) {
            reason = QStringLiteral("cannot create the folder of %1").arg(swap.target);
            return rollBack();
        }
        swap.staged = stage(swap.source, swap.target, &reason);
        if (swap.staged.isEmpty())
            return rollBack();
    }
    for (Swap& swap : swaps) {
        if (exists(swap.target)) {
            swap.aside = sibling(swap.target, QStringLiteral(".old-"));
            if (!removeTree(swap.aside)) {
                reason = QStringLiteral("cannot clear %1").arg(swap.aside);
                return rollBack();
            }
            if (const int error = rename(swap.target, swap.aside); error != 0) {
                reason = QStringLiteral("cannot move %1 aside: %2")
                             .arg(swap.target, QString::fromLocal8Bit(std::strerror(error)));
                return rollBack();
            }
            swap.movedAside = true;
        }
        if (const int error = rename(swap.staged, swap.target); error != 0) {
            reason = QStringLiteral("cannot move the new %1 in: %2")
                         .arg(swap.target, QString::fromLocal8Bit(std::strerror(error)));
            return rollBack();
        }
        swap.movedIn = true;
    }
    // Both new folders are in place: the old ones may go now.
    for (const Swap& swap : swaps) {
        if (swap.movedAside && !removeTree(swap.aside))
            Log::write(QStringLiteral("installUnpackedUpdate: cannot remove %1").arg(swap.aside));
    }
    return {};
}
