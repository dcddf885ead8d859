#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Replaces the installed plug-in bundle and the updater's application folder with the
// ones unpacked from a release, so that either both new folders are in place or both
// old ones are, byte for byte: each new folder is first brought next to its target,
// then each old folder is renamed aside and the new one renamed in; the old ones are
// removed only when every step succeeded, and any failure puts the old ones back.
class UpdateInstaller {
public:
    // Renames `from` to `to`; returns 0 or the errno of the failure. Tests replace it.
    using Rename = std::function<int(const QByteArray& from, const QByteArray& to)>;

    static const QString pluginBundleName;      // "Ov.Pikto.Export.iPhotoExporter"
    static const QString applicationFolderName; // "Оврана.Пикто"

    UpdateInstaller();

    // Installs unpacked/Ov.Pikto.Export.iPhotoExporter as pluginFolder/Ov.Pikto.Export.
    // iPhotoExporter and unpacked/Оврана.Пикто as `applicationFolder`. Returns an empty
    // string on success, else the reason; then nothing installed has changed. Refuses
    // when either new folder is missing from `unpacked` or holds a symbolic link.
    QString install(const QString& unpacked, const QString& pluginFolder,
                    const QString& applicationFolder);

    void setRename(Rename rename) { m_rename = std::move(rename); }

private:
    // Brings `source` next to `target` under a temporary name: a rename when both sit
    // on one file system, a copy otherwise. Returns the staged path, or a null string.
    QString stage(const QString& source, const QString& target, QString* reason);
    int rename(const QString& from, const QString& to) const;

    Rename m_rename;
};
