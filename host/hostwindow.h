#pragma once

#include "exportmanager.h"
#include "hostoptions.h"
#include "pluginloader.h"

#include <QMainWindow>

#include <memory>
#include <vector>

class ExportDialog;
class LibraryModel;
class QLabel;
class QListView;

// The host's main window: the library as a grid of thumbnails with multiple selection,
// a status line with the count selected, and File ▸ Export… (Ctrl+E), which opens the
// Export dialog with one tab per loaded plug-in.
class HostWindow : public QMainWindow {
    Q_OBJECT

public:
    // Reads the library, selects the photos of `options`, finds and loads the plug-ins of
    // the application's plug-in folder. Does not show anything.
    explicit HostWindow(const HostOptions& options, QWidget* parent = nullptr);
    // Destroys the plug-ins before the dialog that shows their pages.
    ~HostWindow() override;

    // The host's version (CFBundleVersion of its Info.plist); empty when unknown.
    const QString& version() const { return m_version; }
    // The plug-in folder for that version; empty when the version has no major number.
    const QString& pluginFolder() const { return m_pluginFolder; }
    // The problems met while loading plug-ins (also written to standard error).
    const QStringList& pluginErrors() const { return m_pluginErrors; }
    // The plug-ins created, in tab order.
    std::vector<ExportPluginProtocol*> plugins() const;

    // Replaces the selection by these photos (absolute paths); others are ignored.
    void selectPaths(const QStringList& paths);
    QStringList selectedPaths() const;

    // Opens the Export dialog on the first plug-in's tab.
    void openExportDialog();
    ExportDialog* exportDialog() const { return m_exportDialog; }
    ExportManager& exportManager() { return m_exportManager; }
    QListView* libraryView() const { return m_libraryView; }
    QLabel* statusLabel() const { return m_statusLabel; }

    // The window with the Export dialog drawn over its top centre, as the user sees it.
    QImage snapshot();
    // Saves snapshot() as PNG; false when it cannot be written.
    bool saveScreenshot(const QString& path);

private:
    void loadPlugins();
    void selectionChanged();

    struct LoadedPlugin {
        PluginLoader::Plugin module;
        std::unique_ptr<ExportPluginProtocol> instance;
    };

    HostOptions m_options;
    QString m_version;
    QString m_pluginFolder;
    QStringList m_pluginErrors;
    ExportManager m_exportManager;
    LibraryModel* m_library = nullptr;
    QListView* m_libraryView = nullptr;
    QLabel* m_statusLabel = nullptr;
    ExportDialog* m_exportDialog = nullptr;
    std::vector<LoadedPlugin> m_plugins;
};
