#pragma once

#include "hostfixture.h"
#include "ovpiktocredentials.h"
#include "ovpiktoexportercommlayer.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

class OvPiktoExporter;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;

// An export as the user runs it: the host with the plug-in (in-process, offscreen),
// pikto-service on loopback with the account demo, photos of chosen sizes in the library,
// the Export dialog open, the user signed in through the page's form and an album of the
// account selected in the table. Tests then press Export and watch the sheets.
class ExportScenario : public ::testing::Test {
protected:
    // The sheet's pages.
    static constexpr int progressPage = 0;
    static constexpr int failurePage = 1;
    static constexpr int resultsPage = 2;

    void SetUp() override;

    // A photo of `size` bytes in the library (JPEG markers around bytes from `seed`).
    QString addPhoto(const QString& name, qint64 size, quint32 seed = 1);
    // A real JPEG picture (a gradient of `hue` with the name written on it), as a browser
    // can show it.
    QString addPicture(const QString& name, int hue);
    // A file of `size` bytes that takes no disk space (for files that are never sent).
    QString addSparseFile(const QString& name, qint64 size);
    // Opens the Export dialog with `photos` selected, signs in through the form and
    // selects a new album "Export test" created beforehand. False with a reason in
    // lastError when a step fails.
    bool openSignedIn(const QStringList& photos);
    QString lastError() const { return m_error; }

    // The plug-in's controller, to read its state.
    const OvPiktoExporter* controller();
    // Presses the Export button of the host's dialog.
    void pressExport();
    // Waits until the upload sheet shows `page`.
    bool waitForPage(int page, int timeoutMs = 15000);

    template <class T> T* widget(const char* name) { return host->widget<T>(name); }
    QDialog* uploadSheet();
    QDialog* skippedSheet();
    QStackedWidget* uploadTab();
    QString labelText(const char* name);
    QPushButton* button(const char* name);
    QProgressBar* progressIndicator();
    // The text the plug-in's bundle has for `key`.
    static QString bundleText(const char* key);

    // Every photo the album page lists: file name -> the bytes the service serves.
    QMap<QString, QByteArray> albumPhotos();
    // The address the results page's album link opens.
    QString albumLinkAddress();
    // The album page's address on the service.
    QString albumPage() const;
    // How many uploads reached the service.
    int uploadRequests();
    // Deletes the album through the service (as another client of the same account).
    bool deleteAlbum();

    // A client of the same service, for what another program does meanwhile.
    OvPiktoExporterCommLayer serviceClient() const;

    std::unique_ptr<HostFixture> host;
    QString albumId;

private:
    bool fail(const QString& reason);

    OVPiktoCredentials m_owner;
    QString m_error;
};
