// The plug-in's own version and the check for a newer release.
#include "ovpiktoexporter.h"

#include "bundle.h"
#include "hostinstallation.h"
#include "qzutils.h"

#include <QFile>

namespace {
// The text of a file, or a null string when it cannot be read.
QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
} // namespace

QString OvPiktoExporter::loadPluginVersionInfo() {
    const std::optional<Bundle> host = Bundle::mainBundle();
    if (!host)
        return {};
    const QString hostVersion = host->infoDictionary().value("CFBundleVersion").toString();
    if (hostVersion.isEmpty())
        return {};
    // The folder follows the host's integer major version, as the updater decides it,
    // so hosts of version 8 and later find the plug-in too.
    const std::optional<QString> folder = HostInstallation::pluginFolder(hostVersion, host->path());
    if (!folder)
        return {};
    const QString resources = QStringLiteral("%1/%2/Contents/Resources/")
                                  .arg(*folder, HostInstallation::pluginBundleName());
    const QString version = readText(resources + QStringLiteral("version.txt"));
    const QString build = readText(resources + QStringLiteral("build.txt"));
    if (version.isNull() || build.isNull())
        return {};
    return QStringLiteral("%1.%2").arg(QZUtils::trimString(version), QZUtils::trimString(build));
}

void OvPiktoExporter::updatePluginBundleVersion(const QString& version) {
    (void)version;
}

void OvPiktoExporter::selfUpdate() {}

void OvPiktoExporter::updateSoftware() {
    updateSoftware(true);
}

void OvPiktoExporter::updateSoftwareSilenly() {
    updateSoftware(false);
}

void OvPiktoExporter::updateSoftware(bool reportNoUpdate) {
    (void)reportNoUpdate;
}

bool OvPiktoExporter::isUpdatedVersionAvailable() {
    return false;
}
