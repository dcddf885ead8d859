#include "syncplan.h"

#include "ovpiktoexporteruploader.h"
#include "photosender.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>

#include <sys/stat.h>

namespace {

// Every file under `root` that is not hidden and not under a hidden folder, in path order.
// Links to folders are not followed (no loops); links to files are taken.
QStringList filesUnder(const QString& root) {
    QStringList files;
    QStringList folders{root};
    while (!folders.isEmpty()) {
        const QDir dir(folders.takeLast());
        for (const QFileInfo& entry :
             dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
            if (entry.isDir()) {
                if (!entry.isSymLink())
                    folders.append(entry.filePath());
            } else {
                files.append(entry.filePath());
            }
        }
    }
    files.sort();
    return files;
}

} // namespace

SyncPlan SyncPlan::make(const QString& folder, const SyncRecord& record) {
    SyncPlan plan;
    const QDir root(QDir(folder).canonicalPath());
    QSet<QByteArray> planned;
    for (const QString& path : filesUnder(root.path())) {
        const QString name = root.relativeFilePath(path);
        struct stat status {};
        if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
            plan.setAside.append(QStringLiteral("skipped %1: not a file that can be read")
                                     .arg(PhotoSender::printable(path)));
            continue;
        }
        if (!OvPiktoExporterUploader::isSendableFileName(QFileInfo(path).fileName())) {
            plan.setAside.append(
                QStringLiteral("skipped %1: its name holds a line break; rename it")
                    .arg(PhotoSender::printable(path)));
            continue;
        }
        if (status.st_size >= PhotoSender::sizeLimit) {
            plan.setAside.append(PhotoSender::tooLargeNote(path, status.st_size));
            continue;
        }
        SyncRecord::Seen seen{status.st_size,
                              qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
                              {}};
        seen.sha256 = record.knownHash(path, seen.size, seen.mtimeNs);
        if (seen.sha256.isEmpty()) {
            QFile file(path);
            QCryptographicHash hash(QCryptographicHash::Sha256);
            if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
                plan.setAside.append(QStringLiteral("skipped %1: cannot read it").arg(path));
                continue;
            }
            seen.sha256 = hash.result().toHex();
            plan.newlySeen.insert(path, seen);
        }
        if (record.wasSent(seen.sha256) || planned.contains(seen.sha256)) {
            ++plan.alreadyThere;
            continue;
        }
        planned.insert(seen.sha256);
        plan.toSend.append({path, name, seen});
    }
    return plan;
}
