// The plug-in's own version and the check for a newer release.
#include "ovpiktoexporter.h"

#include "applicationlauncher.h"
#include "applicationquitter.h"
#include "bundle.h"
#include "hostinstallation.h"
#include "log.h"
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoexporterglobals.h"
#include "paths.h"
#include "preferences.h"
#include "propertylist.h"
#include "qztext.h"
#include "qzutils.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString cancellationsKey = QStringLiteral("UpdateCancellationsCount");
const QString timestampKey = QStringLiteral("LastUpdateTimestamp");

// The text of a file, or a null string when it cannot be read.
QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// Days to wait after `declines` updates declined in a row before offering one again.
qint64 backOffDays(qint64 declines) {
    if (declines <= 0)
        return 0;
    if (declines == 1)
        return 2;
    if (declines == 2)
        return 5;
    return 12;
}
} // namespace

QString OvPiktoExporter::updaterApplicationPath() {
    return Paths::resolve(
        QStringLiteral("/Applications/Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app"));
}

void OvPiktoExporter::quitAndActivateUpdater(const QString& appPath) {
    // Errors are ignored, as a script runner's would be: a failed start shows nothing.
    ApplicationQuitter::quit(appPath);
    if (!ApplicationLauncher::activate(appPath))
        Log::write(QStringLiteral("updateSoftware: cannot start %1").arg(appPath));
}

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
    const std::optional<Bundle> plugin = Bundle::withIdentifier(QZText::pluginBundleIdentifier());
    if (!plugin)
        return;
    std::optional<QVariantMap> info = PropertyList::readDictionary(plugin->infoPlistPath());
    if (!info)
        return;
    // An unchanged file is left alone: a read-only installation then loads without errors.
    if (info->value(QStringLiteral("CFBundleVersion")).toString() == version)
        return;
    info->insert(QStringLiteral("CFBundleVersion"), version);
    if (!PropertyList::writeDictionary(plugin->infoPlistPath(), *info))
        Log::write(QStringLiteral("updatePluginBundleVersion: cannot write %1")
                       .arg(plugin->infoPlistPath()));
}

void OvPiktoExporter::selfUpdate() {
    Preferences preferences;
    const QVariantMap stored = preferences.read();
    const QDateTime now = currentTime();
    QDateTime stamp = stored.value(timestampKey).toDateTime();
    if (!stamp.isValid() || stamp > now)
        stamp = now;
    const qint64 declines = stored.value(cancellationsKey).toLongLong();
    // Written back every time: the first run creates the file, a stamp from the future is
    // replaced, and an unreadable file becomes a new dictionary with the two keys.
    if (!preferences.setValues({{timestampKey, stamp}, {cancellationsKey, declines}}))
        Log::write(QStringLiteral("selfUpdate: cannot write %1").arg(preferences.path()));

    if (declines == 0) {
        updateSoftwareSilenly();
        return;
    }
    const qint64 waitSeconds = backOffDays(declines) * 86400;
    if (stamp.secsTo(now) > waitSeconds)
        updateSoftwareSilenly();
}

void OvPiktoExporter::updateSoftware() {
    updateSoftware(true);
}

void OvPiktoExporter::updateSoftwareSilenly() {
    updateSoftware(false);
}

void OvPiktoExporter::updateSoftware(bool reportNoUpdate) {
    if (isUpdatedVersionAvailable()) {
        // Without the updater a newer release is not offered at all.
        const QString updater = updaterApplicationPath();
        if (QFileInfo::exists(updater) && startUpdater)
            startUpdater(updater);
        return;
    }
    if (!reportNoUpdate)
        return;
    QZUtils::showMessage(QZUtils::infoValueForKey(QStringLiteral("OPNoUpdatesAvailable")) +
                             OvPiktoExporterGlobals::pluginVersion,
                         QZUtils::infoValueForKey(QStringLiteral("OPServiceName")),
                         QStringLiteral("UI_login.png"));
}

bool OvPiktoExporter::isUpdatedVersionAvailable() {
    // Nothing is newer than an unknown version: the feed is not even asked.
    if (OvPiktoExporterGlobals::pluginVersion.isEmpty())
        return false;
    return communicationLayer->fetchUpdatedVersionInfo(OvPiktoExporterGlobals::pluginVersion)
        .has_value();
}
