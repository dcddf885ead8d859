#pragma once

#include "exportpluginprotocol.h"
#include "serviceprocess.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class ExportDialog;
class QMessageBox;
class HostWindow;

// The stand-in host with the plug-in, set up the way a user meets them, in-process:
//   HostFixture host({.photoCount = 3});
//   ASSERT_TRUE(host.setUp()) << host.lastError();   // ROOT, HOME, photos, install
//   ASSERT_TRUE(host.openExport()) << host.lastError();  // window + Export dialog
//   auto* login = host.widget<QLineEdit>("loginText");
//   host.screenshot("host-signin");
// setUp makes a temporary ROOT and HOME, writes the photos (JPEGs) into HOME/Pictures,
// installs host and plug-in with scripts/install-bundles, optionally starts
// pikto-service and points the plug-in at it (OVPIKTO_SERVICE_URL), and replaces the
// tick wait with a recorder. The environment it changes is restored by the destructor.
// The plug-in is reached through the host interface and Qt's own widget classes
// (widgets are found by object name), since its module holds its own copy of the
// plug-in's classes.
class HostFixture {
public:
    struct Options {
        int photoCount = 3;
        // How many of the photos (the first ones) are selected; -1 = all.
        int selectCount = -1;
        QString hostVersion = QStringLiteral("7.1.5");
        bool installPlugin = true;
        // Start pikto-service with these accounts ("login:password").
        bool startService = false;
        QStringList users = {QStringLiteral("demo:secret")};
        // OVPIKTO_LANG for the plug-in's texts.
        QString language = QStringLiteral("ru");
    };

    HostFixture();
    explicit HostFixture(Options options);
    ~HostFixture();
    HostFixture(const HostFixture&) = delete;
    HostFixture& operator=(const HostFixture&) = delete;

    // Everything before the host starts; false with lastError() on any failure.
    bool setUp();
    // Creates the host window (plug-ins loaded, photos selected) and shows it.
    bool createHost();
    // createHost() when needed, then File ▸ Export…; waits until the plug-in's page shows.
    bool openExport();
    // Quits the host: the window and its plug-ins are destroyed; ROOT, HOME, the service
    // and the tick recorder stay, so createHost or openExport starts it again.
    void closeHost();
    QString lastError() const { return m_error; }

    QString root() const;
    QString home() const;
    QString libraryDir() const;
    QStringList photoPaths() const { return m_photos; }
    // Where install-bundles put the plug-in bundle.
    QString installedPluginPath() const { return m_pluginPath; }
    ServiceProcess* service() { return m_service.get(); }

    HostWindow& host() { return *m_host; }
    ExportDialog& dialog();
    // The first loaded plug-in, or null.
    ExportPluginProtocol* plugin();
    // The plug-in's page (its settings view).
    QWidget* page();
    // The child of the page or of its sheets named `objectName`, as T; null when none.
    template <class T> T* widget(const char* objectName) {
        QWidget* root = page();
        return root ? root->findChild<T*>(QString::fromLatin1(objectName)) : nullptr;
    }

    // The visible alert (a message box of the plug-in or the host), or null.
    static QMessageBox* alert();
    // Waits until an alert shows; null when none did within `timeoutMs`.
    static QMessageBox* waitForAlert(int timeoutMs = 3000);

    // The tick waits asked for since setUp (or the last clearTicks), in order.
    const QList<unsigned>& ticks() const { return m_ticks; }
    void clearTicks() { m_ticks.clear(); }

    // Saves what the user sees (host window with the dialog over it) as
    // build/screenshots/NAME.png; returns the file's path, empty when it failed.
    QString screenshot(const QString& name);
    // Saves one window (a sheet, an alert) as build/screenshots/NAME.png.
    static QString screenshot(QWidget& window, const QString& name);

    // Runs the event loop until `condition` holds or `timeoutMs` passed; returns it.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 3000);
    // Runs the event loop for `ms` milliseconds (0: pending events only).
    static void processEvents(int ms = 0);

    // The installer every caller shares.
    static QString installScript();
    static QString buildDir();

private:
    bool fail(const QString& reason);
    void setEnv(const char* name, const QByteArray& value);
    bool writePhotos();
    bool install();

    Options m_options;
    QString m_error;
    std::unique_ptr<QTemporaryDir> m_temp;
    QStringList m_photos;
    QString m_pluginPath;
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<HostWindow> m_host;
    QList<unsigned> m_ticks;
    bool m_tickHookInstalled = false;
    std::map<QByteArray, std::optional<QByteArray>> m_savedEnv;
};
