#pragma once

#include "exportpluginprotocol.h"

#include <QPluginLoader>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Finds the export plug-ins in a plug-in folder and loads them: every NAME/Contents/
// Info.plist whose CFBundleExecutable names a loadable module in Contents/MacOS/. A
// bundle that fails is reported on standard error and skipped.
class PluginLoader {
public:
    struct Plugin {
        QString bundlePath;
        QString principalClass;
        std::unique_ptr<QPluginLoader> loader;
        ExportPluginFactory* factory = nullptr; // owned by the loader
    };

    // Loads every bundle of `folder` (in name order) and registers each that loads, so
    // its resources and texts are found. A missing folder gives no plug-ins, no error.
    std::vector<Plugin> loadFolder(const QString& folder);
    // The problems of the last loadFolder, one line each, as written to standard error.
    const QStringList& errors() const { return m_errors; }

private:
    void reportSkipped(const QString& bundlePath, const QString& reason);

    QStringList m_errors;
};
