#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class HostWindow;
class QWidget;

// Drives the host and its plug-in the way a person does, in this process: opens the
// Export dialog with photos selected, signs in through the page's form, creates or picks
// an album, presses Export and waits for the upload sheet's result. Used by the demo's
// walk-through (under Xvfb) and by the export benchmark (offscreen). The environment
// (OVPIKTO_ROOT with host and plug-in installed, HOME, OVPIKTO_SERVICE_URL) is the
// caller's.
class ExportDriver {
public:
    // `libraryDir` is the host's library; `photos` are selected in it.
    ExportDriver(const QString& libraryDir, const QStringList& photos);
    ~ExportDriver();
    ExportDriver(const ExportDriver&) = delete;
    ExportDriver& operator=(const ExportDriver&) = delete;

    // The host window and its Export dialog on the plug-in's page. False with error().
    bool open();
    // Types the account into the form and presses the sign-in button; true once the
    // signed-in page shows.
    bool signIn(const QString& login, const QString& password);
    // Creates an album through the album sheet; true once the table selects it.
    // `onSheet` runs while the filled-in sheet is up (for a screenshot).
    bool createAlbum(const QString& title, const QString& summary,
                     const std::function<void()>& onSheet = {});
    // Selects the album named `title` in the table.
    bool selectAlbum(const QString& title);
    // Presses Export and waits (up to `timeoutMs`) for the results page of the upload
    // sheet; `onProgress` runs once right after the press. False when the sheet ended on
    // its failure page or stopped with an error (see error()).
    bool exportPhotos(int timeoutMs, const std::function<void()>& onProgress = {});
    // Seconds from pressing Export to the results page of the last exportPhotos.
    double lastExportSeconds() const { return m_exportSeconds; }
    // The address the results page's album link opens.
    QString albumLink();
    // Closes the upload sheet with its Close button.
    void closeUploadSheet();

    // Saves what the screen shows (every window) as DIR/NAME.png; the path, or empty.
    static QString screenshot(const QString& dir, const QString& name);
    QString error() const { return m_error; }

    // Runs the event loop until `condition` holds or `timeoutMs` passed; returns it.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs);

private:
    template <class T> T* widget(const char* name);
    bool fail(const QString& reason);

    QString m_libraryDir;
    QStringList m_photos;
    std::unique_ptr<HostWindow> m_host;
    double m_exportSeconds = 0;
    QString m_error;
};
