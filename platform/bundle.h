#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// A bundle is a folder NAME/Contents/ with Info.plist, Resources/ (version.txt,
// build.txt, images, LANG.lproj/InfoPlist.strings) and the binary under MacOS/.
class Bundle {
public:
    // The bundle rooted at `path` (the folder that holds Contents/). Does not read yet.
    explicit Bundle(QString path);

    // Records a bundle as loaded into this process (the host does this for each
    // plug-in it loads). Loading the same folder twice keeps one entry.
    static void registerLoaded(const QString& path);
    // Forgets every loaded bundle (tests).
    static void clearLoaded();
    // The loaded bundle whose CFBundleIdentifier is `identifier`, or nothing.
    // The main bundle is searched too.
    static std::optional<Bundle> withIdentifier(const QString& identifier);
    // The application's own bundle: OVPIKTO_MAIN_BUNDLE when set, else the bundle
    // whose Contents/MacOS holds the executable. Nothing when neither exists.
    static std::optional<Bundle> mainBundle();

    QString path() const { return m_path; }
    QString contentsPath() const { return m_path + QStringLiteral("/Contents"); }
    QString resourcesPath() const { return contentsPath() + QStringLiteral("/Resources"); }
    QString infoPlistPath() const { return contentsPath() + QStringLiteral("/Info.plist"); }

    // Info.plist as a dictionary; empty when missing or unreadable.
    QVariantMap infoDictionary() const;
    // The localised InfoPlist.strings of the preferred language (OVPIKTO_LANG, the
    // system's UI languages, then ru, en, Base); empty when there is none.
    QVariantMap localizedInfoDictionary() const;
    QString identifier() const;

    // The path of resource `name`.`type` in `directory` under Resources/ (a localised
    // folder is searched first), or a null string when there is no such file.
    QString pathForResource(const QString& name, const QString& type,
                            const QString& directory = {}) const;

private:
    QString m_path;
};
