#pragma once

#include "exportpluginprotocol.h"
#include "ovpiktocredentials.h"
#include "ovpiktoexporteruploaderdelegate.h"
#include "qzutils.h"
#include "serviceurls.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

class OvPiktoAlbumList;
class OvPiktoAlbumWindowController;
class OvPiktoAlbumsListController;
class OvPiktoExporterBox;
class OvPiktoExporterCommLayer;
class OvPiktoExporterUploader;
class OvPiktoSkippedImagesWindow;
class OvPiktoUploadWindowController;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTextEdit;
class QTimer;
class QZLink;
class QZSecureTextField;
class QZTextField;
class SegmentedControl;

namespace Ui {
class OvPiktoExporterPage;
class OvPiktoAlbumWindowController;
class OvPiktoUploadWindowController;
class OvPiktoSkippedImagesWindow;
} // namespace Ui

// The plug-in's principal class: the page of the host's Export dialog and everything
// behind it (sign-in, albums, export, self-update). The host creates one with its
// export manager, calls loadNib() (which ends in awakeFromNib), shows settingsView()
// and drives it through ExportPluginProtocol. Everything runs on the host's main thread.
//
// The operations are defined by topic: this file's own .cpp holds construction, page
// set-up and the answers to the host; _signin.cpp, _albums.cpp, _export.cpp and
// _update.cpp hold the rest.
class OvPiktoExporter : public QObject,
                        public ExportPluginProtocol,
                        public OvPiktoExporterUploaderDelegate {
    Q_OBJECT

public:
    // initWithExportImageObj: the export manager is not owned and must outlive this.
    // `serviceUrls` are the service's addresses for the client, the uploads and the links
    // (the plug-in module reads them once, when it is loaded).
    OvPiktoExporter(ExportImageProtocol* exportManager, ServiceUrls serviceUrls);
    // Deletes the page (and its sheets) when the host has not done so already.
    ~OvPiktoExporter() override;

    OvPiktoExporter(const OvPiktoExporter&) = delete;
    OvPiktoExporter& operator=(const OvPiktoExporter&) = delete;

    // Builds the page and its sheets from the interface resources, connects the
    // outlets and actions, then runs awakeFromNib. Call once, right after construction.
    void loadNib();
    // Page set-up; exceptions are logged and end the set-up early.
    void awakeFromNib();

    // --- ExportPluginProtocol ---
    QWidget* settingsView() override;
    QWidget* firstView() override;
    void viewWillBeActivated() override;
    void viewWillBeDeactivated() override;
    // "jpg" for fewer than two selected images, otherwise the empty string.
    QString requiredFileType() override;
    bool wantsDestinationPrompt() override;                     // NO
    QString getDestinationPath() override;                      // ""
    QString defaultFileName() override;                         // ""
    QString defaultDirectory() override;                        // "~/Pictures/"
    bool treatSingleSelectionDifferently() override;            // NO
    bool handlesMovieFiles() override;                          // NO
    bool validateUserCreatedPath(const QString& path) override; // NO
    void startExport(const QString& path) override;
    void performExport(const QString& path) override;
    ExportPluginProgress* progress() override;
    void lockProgress() override;
    void unlockProgress() override;
    // Sets shouldCancel without taking the lock.
    void cancelExport() override;
    QString name() override; // "Ovrana.Pikto Exporter"

    // --- Lifecycle and host protocol ---
    bool acceptsFirstResponder() const { return true; }
    // Runs the host's own Export command.
    void clickExport();
    bool getIsExportStarted() const { return isExportStarted; }
    // 0 while the signed-out page (item 0 of mainTabView) shows, 1 otherwise.
    std::int32_t activePluginTab() const;
    // "Вы собираетесь загрузить %d фото." with the number in bold 12.
    void updateImageCountLabel();
    // End of the upload sheet: the export is over; reloads the albums without alerts.
    void exportDialogDidEnd(QWidget* sheet, int returnCode, QWidget* contextInfo);

    // --- Sign-in and remembered account ---
    void signInAction(QObject* sender);
    // Performs a click of signInButton.
    void clickSignInButton();
    void rememberMeAction(QObject* sender);
    void enableSignInControls(bool enabled);
    void signIntoOvranaPikto(bool showErrors);
    void finishSignIn(QWidget* alert, int returnCode, QWidget* contextInfo);
    void delayedAfterSignedInCallback(QTimer* timer);
    void delayedAutologinCallback(QTimer* timer);
    void delayedInitCallback(QTimer* timer);
    void rememberUserAccount();
    // Whether a remembered account with its password was found.
    bool loadUserAccount();
    // Account restore at start: disables the form and schedules the automatic sign-in.
    void startAutomaticSignIn();
    void signOut();
    void showSignedInTab();
    void showSignedOutTab();

    // --- Album management ---
    void processAlbum(QObject* sender);
    void createAlbum();
    void editAlbum(QObject* sender);
    void applyEditAlbum(QObject* sender);
    void cancelEditAlbum(QObject* sender);
    void addAlbum(QObject* sender);
    void cancelAlbumAction(QObject* sender);
    void albumCreateConfirmationDidEnd(QWidget* sheet, int returnCode, QWidget* contextInfo);
    void albumDeleteConfirmationDidEnd(QWidget* alert, int returnCode, QWidget* contextInfo);
    // An alert with the text for service result `error` and `title`; `didEnd` may be empty.
    void showErrorWithTitle(const QString& title, int error, QZUtils::AlertEnd didEnd = {});
    void showAlbumRemovePasswordControls(bool show);
    void resetPasswordOnAlbum();
    void goToAlbumOnPiktoWebsite();
    void reloadAlbumsList();
    // Whether a new list was put into the table.
    bool reloadAlbumsListShowingErrors(bool showErrors);

    // --- Export and upload ---
    // The selected files that can be sent; rebuilds skippedImages.
    QStringList makeListOfImagesToUpload();
    void beginImagesUpload();
    void uploadImageWithIndex(int index);
    void uploadImage(const QString& path);
    // Total size of every upload request, in KiB.
    double calcTotalUploadSize();
    // The first selected album's identifier, or a null string.
    QString getSelectedAlbumId();
    int checkWhetherAlbumExists();
    int checkWhetherAlbumExistsWithID(const QString& albumId);
    void uploadEvent(Event event) override;
    void stopUploadAndShowNetworkError();
    QString buildUploadedDataSizeMessage(double uploaded, double dataSize);
    void appendStringToTextView(QTextEdit* textView, const QString& string, bool withLinebreak);
    void showUploadProgressTab();
    void showUploadFailureTab();
    void showUploadResultsTab();
    void skippedImagesWindowDidEnd(QWidget* sheet, int returnCode, QWidget* contextInfo);
    void closeSkippedImagesWindow(QObject* sender);
    void cancelUpload(QObject* sender);
    void retryImageUpload(QObject* sender);
    void cancelRetryImageUpload(QObject* sender);
    void retryOnFailedImageUploadDelay(QTimer* timer);
    void closeUploadWindow(QObject* sender);

    // --- Plug-in update ---
    // The installed plug-in's "version.build", or a null string.
    QString loadPluginVersionInfo();
    void updatePluginBundleVersion(const QString& version);
    void selfUpdate();
    void updateSoftware();
    void updateSoftwareSilenly();
    void updateSoftware(bool reportNoUpdate);
    bool isUpdatedVersionAvailable();

    // The service client this instance uses (tests look at it).
    OvPiktoExporterCommLayer& serviceClient() { return *communicationLayer; }
    // The service's addresses (uploads, album and account pages).
    const ServiceUrls& serviceUrls() const { return m_serviceUrls; }

private:
    // Builds the service client; the one place that knows the service's addresses.
    static std::unique_ptr<OvPiktoExporterCommLayer>
    makeCommunicationLayer(const ServiceUrls& serviceUrls);
    void connectOutlets();
    // Wires the buttons to their actions. The sheets' end handlers are connected by the
    // operation that opens each sheet.
    void connectActions();
    // The album table's double-click action (editAlbum:).
    void setAlbumTableActions();

    QMetaObject::Connection m_albumDoubleClick;
    ServiceUrls m_serviceUrls;

    // The interface resources: the page and the three sheets.
    std::unique_ptr<Ui::OvPiktoExporterPage> m_pageUi;
    std::unique_ptr<Ui::OvPiktoAlbumWindowController> m_albumSheetUi;
    std::unique_ptr<Ui::OvPiktoUploadWindowController> m_uploadSheetUi;
    std::unique_ptr<Ui::OvPiktoSkippedImagesWindow> m_skippedSheetUi;

public:
    // Fields, in declared order. Outlets point into the page and its sheets (owned by
    // the page); the other fields are owned here.
    ExportImageProtocol* mExportMgr = nullptr;
    QPointer<OvPiktoExporterBox> mSettingsBox;
    QWidget* mFirstView = nullptr;
    ExportPluginProgress mProgress;
    QMutex mProgressLock;
    bool mCancelExport = false; // declared; unused
    QZTextField* loginText = nullptr;
    QZSecureTextField* passwordText = nullptr;
    // A busy bar: shown while it spins (started), hidden when stopped.
    QProgressBar* signInProgress = nullptr;
    QStackedWidget* mainTabView = nullptr;
    QZLink* registerText = nullptr;
    QZLink* forgottenPasswordText = nullptr;
    QZLink* loginLabelText = nullptr;
    QLabel* logoLabelText = nullptr;
    QCheckBox* rememberMeButton = nullptr;
    QPushButton* signInButton = nullptr;
    OvPiktoAlbumWindowController* albumProperties = nullptr;
    QLabel* albumHeaderLabelText = nullptr;
    QZTextField* newAlbumName = nullptr;
    QLineEdit* newAlbumDescription = nullptr;
    QLineEdit* newAlbumPassword = nullptr;
    QLabel* newAlbumPasswordLabel = nullptr;
    QZLink* newAlbumPasswordRemove = nullptr;
    QLabel* newAlbumPasswordRemoveLabel = nullptr;
    QPushButton* closeAddAlbumButton = nullptr;
    OvPiktoAlbumsListController* albumsListController = nullptr;
    QZLink* signOutLabel = nullptr;
    OvPiktoAlbumList* albumsList = nullptr;
    // The access radio matrix: the id of each button is its tag (0 public, 1 friends,
    // 2 private).
    QButtonGroup* imageAccessRadioGroup = nullptr;
    QLabel* imagesCountLabel = nullptr;
    QLabel* userMiscLabel = nullptr; // declared; unused
    QLabel* smallOvranaPiktoLogoLabel = nullptr;
    QZLink* userCreateAlbum = nullptr;
    QCheckBox* disableComments = nullptr;
    QCheckBox* disablePublishing = nullptr;
    QCheckBox* adultsOnly = nullptr;
    SegmentedControl* albumControls = nullptr;
    QLabel* uploadProgressLabel = nullptr;
    QLabel* uploadProgressDataLabel = nullptr;
    QProgressBar* uploadProgressIndicator = nullptr;
    OvPiktoUploadWindowController* uploadWindow = nullptr;
    QStackedWidget* uploadTab = nullptr;
    QLabel* uploadResultLabel = nullptr;
    QLabel* uploadResultFailureHeaderLabel = nullptr;
    QLabel* uploadResultFailureLabel = nullptr;
    QZLink* linkToUploadedAlbum = nullptr;
    QWidget* updateSoftwareWindowController = nullptr; // declared; never shown
    bool isAlbumCreated = false;
    bool isSignedIn = false;
    bool rememberMe = false;
    bool isExportStarted = false;
    QByteArray receivedData; // declared; unused
    std::optional<OVPiktoCredentials> credentials;
    std::unique_ptr<QTimer> showWindowDelay;
    std::unique_ptr<QTimer> signedInDelay;
    std::unique_ptr<QTimer> uploadRetryDelayTimer;
    QLabel* versionInfo = nullptr;
    QZLink* updateSoftwareLink = nullptr;
    OvPiktoSkippedImagesWindow* skippedImagesWindow = nullptr;
    QTextEdit* skippedImagesList = nullptr;
    std::unique_ptr<OvPiktoExporterCommLayer> communicationLayer;
    double dataLength = 0.0;
    double uploadedImagesDataLenth = 0.0;
    std::unique_ptr<OvPiktoExporterUploader> uploader;
    std::int32_t currentImageIdx = 0;
    std::int32_t failedConnectionMaxRetries = 0;
    std::int32_t failedConnectionRetryDelay = 0;
    QStringList imagesToUpload;
    QStringList skippedImages;
};
