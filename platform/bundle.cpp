#include "bundle.h"

#include "propertylist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <mutex>

namespace {
std::mutex loadedMutex;
QStringList loadedPaths;

QString cleanBundlePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QStringList preferredLanguages() {
    QStringList languages;
    const QString forced = qEnvironmentVariable("OVPIKTO_LANG");
    if (!forced.isEmpty())
        languages << forced;
    for (const QString& ui : QLocale::system().uiLanguages())
        languages << ui.section('-', 0, 0);
    languages << QStringLiteral("ru") << QStringLiteral("Russian") << QStringLiteral("en")
              << QStringLiteral("English") << QStringLiteral("Base");
    languages.removeDuplicates();
    return languages;
}
} // namespace

Bundle::Bundle(QString path) : m_path(cleanBundlePath(path)) {}

void Bundle::registerLoaded(const QString& path) {
    std::lock_guard lock(loadedMutex);
    const QString clean = cleanBundlePath(path);
    if (!loadedPaths.contains(clean))
        loadedPaths.append(clean);
}

void Bundle::clearLoaded() {
    std::lock_guard lock(loadedMutex);
    loadedPaths.clear();
}

std::optional<Bundle> Bundle::withIdentifier(const QString& identifier) {
    QStringList paths;
    {
        std::lock_guard lock(loadedMutex);
        paths = loadedPaths;
    }
    for (const QString& path : paths) {
        Bundle bundle(path);
        if (bundle.identifier() == identifier)
            return bundle;
    }
    if (auto main = mainBundle(); main && main->identifier() == identifier)
        return main;
    return std::nullopt;
}

std::optional<Bundle> Bundle::mainBundle() {
    const QString forced = qEnvironmentVariable("OVPIKTO_MAIN_BUNDLE");
    if (!forced.isEmpty())
        return Bundle(forced);
    if (!QCoreApplication::instance())
        return std::nullopt;
    QDir dir(QCoreApplication::applicationDirPath());
    if (dir.dirName() != QLatin1String("MacOS") || !dir.cdUp() ||
        dir.dirName() != QLatin1String("Contents") || !dir.cdUp())
        return std::nullopt;
    return Bundle(dir.path());
}

QVariantMap Bundle::infoDictionary() const {
    return PropertyList::readDictionary(infoPlistPath()).value_or(QVariantMap());
}

QVariantMap Bundle::localizedInfoDictionary() const {
    for (const QString& language : preferredLanguages()) {
        const QString file =
            resourcesPath() + '/' + language + QStringLiteral(".lproj/InfoPlist.strings");
        if (QFileInfo::exists(file))
            return PropertyList::readDictionary(file).value_or(QVariantMap());
    }
    return {};
}

QString Bundle::identifier() const {
    return infoDictionary().value(QStringLiteral("CFBundleIdentifier")).toString();
}

QString Bundle::pathForResource(const QString& name, const QString& type,
                                const QString& directory) const {
    if (name.isEmpty())
        return {};
    const QString file = type.isEmpty() ? name : name + '.' + type;
    const QString sub = directory.isEmpty() ? QString() : directory + '/';
    QStringList candidates;
    for (const QString& language : preferredLanguages())
        candidates << resourcesPath() + '/' + sub + language + QStringLiteral(".lproj/") + file;
    candidates.prepend(resourcesPath() + '/' + sub + file);
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}
