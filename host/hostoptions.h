#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The host's command line: iPhoto [--library DIR] [--select FILE...] [--export]
// [--screenshot FILE].
struct HostOptions {
    // The folder whose photos make the library; default ~/Pictures.
    QString libraryDir;
    // Photos to select at start: absolute, or relative to the library folder.
    QStringList select;
    // Open the Export dialog on the first plug-in's tab at start.
    bool openExport = false;
    // Save a PNG of the window (with the dialog) once the page is shown, then quit.
    QString screenshotFile;
    // The application bundle whose Info.plist gives the version; default the main bundle.
    QString applicationPath;

    // The options of `arguments` (without the program name); nothing for an unknown
    // option or one without its value, with the reason in `error`.
    static std::optional<HostOptions> parse(const QStringList& arguments, QString* error);
    // The usage line.
    static QString usage();
    // `select` as absolute paths.
    QStringList selectedPaths() const;
};
