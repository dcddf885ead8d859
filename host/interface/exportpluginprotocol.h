#pragma once

// The meeting point of the host and its export plug-ins. Both sides include this
// header and nothing else of each other: the host offers ExportImageProtocol, a
// plug-in answers ExportPluginProtocol, and a plug-in module exposes one
// ExportPluginFactory through Qt's plugin loader to create its principal class.

#include <QObject>
#include <QString>
#include <QtPlugin>

#include <cstdint>
#include <memory>

class QKeyEvent;
class QWidget;

// What the host reads between lockProgress and unlockProgress while an export runs.
// The plug-in owns `message`.
struct ExportPluginProgress {
    std::uint32_t currentItem = 0;
    std::uint32_t totalItems = 0;
    QString message;
    bool indeterminateProgress = false;
    bool shouldCancel = false;
    bool shouldStop = false;
};

// The host's export manager, handed to the plug-in at creation. It outlives the plug-in.
class ExportImageProtocol {
public:
    virtual ~ExportImageProtocol() = default;
    // How many images the user selected for export; may change between calls.
    virtual unsigned imageCount() = 0;
    // The path of a readable file of selected image `index` (from 0); an empty string
    // for an index outside the selection.
    virtual QString imagePathAtIndex(unsigned index) = 0;
    // Runs the host's own Export command, as if the user pressed Export.
    virtual void clickExport() = 0;
};

// What the host asks of a plug-in. Every call arrives on the host's main thread,
// except performExport, which the host may call from any thread.
class ExportPluginProtocol {
public:
    virtual ~ExportPluginProtocol() = default;

    // The page shown in the host's Export dialog. The plug-in owns it; the host may
    // reparent it into its dialog, and must destroy the plug-in before that dialog.
    virtual QWidget* settingsView() = 0;
    // The control that gets the keyboard focus when the page is shown.
    virtual QWidget* firstView() = 0;
    virtual void viewWillBeActivated() = 0;
    virtual void viewWillBeDeactivated() = 0;

    // The file type the host should convert images to; empty for originals.
    virtual QString requiredFileType() = 0;
    virtual bool wantsDestinationPrompt() = 0;
    virtual QString getDestinationPath() = 0;
    virtual QString defaultFileName() = 0;
    virtual QString defaultDirectory() = 0;
    virtual bool treatSingleSelectionDifferently() = 0;
    virtual bool handlesMovieFiles() = 0;
    virtual bool validateUserCreatedPath(const QString& path) = 0;

    virtual void startExport(const QString& path) = 0;
    virtual void performExport(const QString& path) = 0;

    // The progress record; read it only between lockProgress and unlockProgress.
    virtual ExportPluginProgress* progress() = 0;
    virtual void lockProgress() = 0;
    virtual void unlockProgress() = 0;
    virtual void cancelExport() = 0;

    // The plug-in's name, shown as the title of its tab.
    virtual QString name() = 0;
};

// The plug-in's settings box: it answers key equivalents (Return, Enter) itself.
class ExportPluginBoxProtocol {
public:
    virtual ~ExportPluginBoxProtocol() = default;
    // Whether the box handled the key.
    virtual bool performKeyEquivalent(QKeyEvent* event) = 0;
};

// The root object of a plug-in module, found by QPluginLoader::instance().
class ExportPluginFactory {
public:
    virtual ~ExportPluginFactory() = default;
    // The name of the class this module creates (the bundle's NSPrincipalClass).
    virtual QString principalClass() const = 0;
    // Creates the principal class for `exportManager` (not owned; it must outlive the
    // result) and loads its page. `bundlePath` is the bundle the module was loaded
    // from, so the plug-in finds its resources and texts. Returns null when the
    // plug-in refuses to start.
    virtual std::unique_ptr<ExportPluginProtocol> create(const QString& bundlePath,
                                                         ExportImageProtocol* exportManager) = 0;
};

#define ExportPluginFactory_iid "iPhoto.ExportPluginFactory/1.0"
Q_DECLARE_INTERFACE(ExportPluginFactory, ExportPluginFactory_iid)
