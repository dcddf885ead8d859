#pragma once

// Where the installed host keeps its files, as the host, the plug-in and the updater
// all find them. Header-only, so a plug-in links nothing of the host for it.

#include "paths.h"

#include <QString>

#include <optional>

namespace HostInstallation {

// The host application bundle, under OVPIKTO_ROOT.
inline QString applicationPath() {
    return Paths::resolve(QStringLiteral("/Applications/iPhoto.app"));
}

// The integer major part of a host version ("7.1.5" gives 7, "10" gives 10); nothing
// when the version does not start with a digit or the number does not fit.
inline std::optional<int> majorVersion(const QString& version) {
    const QString trimmed = version.trimmed();
    qsizetype digits = 0;
    while (digits < trimmed.size() && trimmed.at(digits).isDigit() &&
           trimmed.at(digits).unicode() < 128)
        ++digits;
    if (digits == 0)
        return std::nullopt;
    bool ok = false;
    const int major = trimmed.left(digits).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return major;
}

// The plug-in folder of a host of `version` installed at `applicationPath`: the
// application's own Contents/PlugIns up to major version 6, the Library folder above.
// Nothing for a version without a major number.
inline std::optional<QString> pluginFolder(const QString& version, const QString& applicationPath) {
    const std::optional<int> major = majorVersion(version);
    if (!major)
        return std::nullopt;
    if (*major <= 6)
        return applicationPath + QStringLiteral("/Contents/PlugIns");
    return Paths::resolve(QStringLiteral("/Library/Application Support/iPhoto/Plugins"));
}

// The plug-in bundle's folder name.
inline QString pluginBundleName() {
    return QStringLiteral("Ov.Pikto.Export.iPhotoExporter");
}

} // namespace HostInstallation
