#include "pluginloader.h"

#include "bundle.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

std::vector<PluginLoader::Plugin> PluginLoader::loadFolder(const QString& folder) {
    m_errors.clear();
    std::vector<Plugin> plugins;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString bundlePath = dir.absoluteFilePath(name);
        const Bundle bundle(bundlePath);
        if (!QFileInfo::exists(bundle.infoPlistPath()))
            continue; // not a bundle
        const QVariantMap info = bundle.infoDictionary();
        const QString executable = info.value(QStringLiteral("CFBundleExecutable")).toString();
        if (executable.isEmpty()) {
            reportSkipped(bundlePath, QStringLiteral("Info.plist names no CFBundleExecutable"));
            continue;
        }
        // The module must live in the bundle's own MacOS folder.
        if (executable.contains(QLatin1Char('/')) || executable == QLatin1String("..") ||
            executable == QLatin1String(".")) {
            reportSkipped(bundlePath,
                          QStringLiteral("CFBundleExecutable is not a file name: ") + executable);
            continue;
        }
        const QString modulePath = bundle.contentsPath() + QStringLiteral("/MacOS/") + executable;
        if (!QFileInfo(modulePath).isFile()) {
            reportSkipped(bundlePath, QStringLiteral("no module Contents/MacOS/") + executable);
            continue;
        }
        auto loader = std::make_unique<QPluginLoader>(modulePath);
        QObject* root = loader->instance();
        if (!root) {
            reportSkipped(bundlePath, loader->errorString());
            continue;
        }
        auto* factory = qobject_cast<ExportPluginFactory*>(root);
        if (!factory) {
            reportSkipped(bundlePath, QStringLiteral("the module is not an export plug-in"));
            continue;
        }
        Bundle::registerLoaded(bundlePath);
        plugins.push_back(
            Plugin{bundlePath, factory->principalClass(), std::move(loader), factory});
    }
    return plugins;
}

void PluginLoader::reportSkipped(const QString& bundlePath, const QString& reason) {
    const QString line = QStringLiteral("iPhoto: skipping plug-in %1: %2")
                             .arg(QDir::toNativeSeparators(bundlePath), reason);
    m_errors << line;
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
