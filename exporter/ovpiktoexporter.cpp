// Construction, page set-up and the answers to the host.
#include "ovpiktoexporter.h"

#include "interfacetexts.h"
#include "log.h"
#include "ovpiktoalbumlist.h"
#include "ovpiktoalbumslistcontroller.h"
#include "ovpiktoalbumwindowcontroller.h"
#include "ovpiktoexporterbox.h"
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoexporterglobals.h"
#include "ovpiktoexportersteps.h"
#include "ovpiktoexporteruploader.h"
#include "ovpiktoskippedimageswindow.h"
#include "ovpiktouploadwindowcontroller.h"
#include "qzformatter.h"
#include "qzlink.h"
#include "qzsecuretextfield.h"
#include "qztextfield.h"
#include "segmentedcontrol.h"
#include "serviceurls.h"

#include "ui_ovpiktoalbumwindowcontroller.h"
#include "ui_ovpiktoexporterpage.h"
#include "ui_ovpiktoskippedimageswindow.h"
#include "ui_ovpiktouploadwindowcontroller.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHeaderView>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include <exception>

using namespace OvPiktoExporterSteps;

namespace {

constexpr int segmentWidth = 31;
} // namespace

OvPiktoExporter::OvPiktoExporter(ExportImageProtocol* exportManager, ServiceUrls serviceUrls)
    : m_serviceUrls(std::move(serviceUrls)) {
    logStep("initWithExportImageObj", "Entered");
    mProgress.message = QString();
    mExportMgr = exportManager;
    isSignedIn = false;
    rememberMe = true;
    communicationLayer = makeCommunicationLayer(m_serviceUrls);
    logStep("initWithExportImageObj", "Exited OK");
}

OvPiktoExporter::~OvPiktoExporter() {
    logStep("dealloc", "Entered");
    // Timers and the upload first: none of them may call back into a half-destroyed page.
    showWindowDelay.reset();
    signedInDelay.reset();
    uploadRetryDelayTimer.reset();
    uploader.reset();
    mProgress.message = QString();
    communicationLayer.reset();
    credentials.reset();
    imagesToUpload.clear();
    // The page owns the sheets and every outlet; the host may have deleted it already.
    delete mSettingsBox.data();
    logStep("dealloc", "Exited OK");
}

std::unique_ptr<OvPiktoExporterCommLayer>
OvPiktoExporter::makeCommunicationLayer(const ServiceUrls& serviceUrls) {
    return std::make_unique<OvPiktoExporterCommLayer>(serviceUrls);
}

void OvPiktoExporter::loadNib() {
    if (mSettingsBox)
        return;
    m_pageUi = std::make_unique<Ui::OvPiktoExporterPage>();
    m_albumSheetUi = std::make_unique<Ui::OvPiktoAlbumWindowController>();
    m_uploadSheetUi = std::make_unique<Ui::OvPiktoUploadWindowController>();
    m_skippedSheetUi = std::make_unique<Ui::OvPiktoSkippedImagesWindow>();

    auto* box = new OvPiktoExporterBox;
    box->setPlugin(this);
    mSettingsBox = box;
    m_pageUi->setupUi(box);
    const InterfaceTexts interfaceTexts;
    interfaceTexts.apply(box);
    // The sheets are window-modal dialogs of the window that shows the page.
    albumProperties = new OvPiktoAlbumWindowController(box);
    m_albumSheetUi->setupUi(albumProperties);
    interfaceTexts.apply(albumProperties);
    uploadWindow = new OvPiktoUploadWindowController(box);
    m_uploadSheetUi->setupUi(uploadWindow);
    interfaceTexts.apply(uploadWindow);
    skippedImagesWindow = new OvPiktoSkippedImagesWindow(box);
    m_skippedSheetUi->setupUi(skippedImagesWindow);
    interfaceTexts.apply(skippedImagesWindow);
    for (QDialog* sheet :
         {static_cast<QDialog*>(albumProperties), static_cast<QDialog*>(uploadWindow),
          static_cast<QDialog*>(skippedImagesWindow)}) {
        sheet->setWindowFlag(Qt::Sheet);
        sheet->setWindowModality(Qt::WindowModal);
    }
    albumsListController = new OvPiktoAlbumsListController(box);

    connectOutlets();
    connectActions();

    // The objects of the interface resources are set up before their owner.
    for (QZLink* link : box->findChildren<QZLink*>())
        link->awakeFromNib();
    albumsListController->setTable(albumsList);
    albumsListController->awakeFromNib();
    // Name takes the width; count and lock icon keep to their content.
    QHeaderView* columns = albumsList->horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(0, QHeaderView::Stretch);
    columns->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(2, QHeaderView::Fixed);
    columns->resizeSection(2, 28);
    albumsList->verticalHeader()->setDefaultSectionSize(22);
    signInProgress->hide();
    awakeFromNib();
}

void OvPiktoExporter::connectOutlets() {
    const Ui::OvPiktoExporterPage& page = *m_pageUi;
    loginText = page.loginText;
    passwordText = page.passwordText;
    signInProgress = page.signInProgress;
    mainTabView = page.mainTabView;
    registerText = page.registerText;
    forgottenPasswordText = page.forgottenPasswordText;
    loginLabelText = page.loginLabelText;
    logoLabelText = page.logoLabelText;
    rememberMeButton = page.rememberMeButton;
    signInButton = page.signInButton;
    signOutLabel = page.signOutLabel;
    albumsList = page.albumsList;
    imageAccessRadioGroup = page.imageAccessRadioGroup;
    imagesCountLabel = page.imagesCountLabel;
    userMiscLabel = page.userMiscLabel;
    smallOvranaPiktoLogoLabel = page.smallOvranaPiktoLogoLabel;
    userCreateAlbum = page.userCreateAlbum;
    disableComments = page.disableComments;
    disablePublishing = page.disablePublishing;
    adultsOnly = page.adultsOnly;
    albumControls = page.albumControls;
    versionInfo = page.versionInfo;
    updateSoftwareLink = page.updateSoftwareLink;

    const Ui::OvPiktoAlbumWindowController& album = *m_albumSheetUi;
    albumHeaderLabelText = album.albumHeaderLabelText;
    newAlbumName = album.newAlbumName;
    newAlbumDescription = album.newAlbumDescription;
    newAlbumPassword = album.newAlbumPassword;
    newAlbumPasswordLabel = album.newAlbumPasswordLabel;
    newAlbumPasswordRemove = album.newAlbumPasswordRemove;
    newAlbumPasswordRemoveLabel = album.newAlbumPasswordRemoveLabel;
    closeAddAlbumButton = album.closeAddAlbumButton;

    const Ui::OvPiktoUploadWindowController& upload = *m_uploadSheetUi;
    uploadProgressLabel = upload.uploadProgressLabel;
    uploadProgressDataLabel = upload.uploadProgressDataLabel;
    uploadProgressIndicator = upload.uploadProgressIndicator;
    uploadTab = upload.uploadTab;
    uploadResultLabel = upload.uploadResultLabel;
    uploadResultFailureHeaderLabel = upload.uploadResultFailureHeaderLabel;
    uploadResultFailureLabel = upload.uploadResultFailureLabel;
    linkToUploadedAlbum = upload.linkToUploadedAlbum;

    skippedImagesList = m_skippedSheetUi->skippedImagesList;

    // The radio matrix answers with the tag of the selected cell.
    for (QAbstractButton* button : imageAccessRadioGroup->buttons())
        imageAccessRadioGroup->setId(button, button->property("tag").toInt());
}

void OvPiktoExporter::connectActions() {
    connect(signInButton, &QAbstractButton::clicked, this, [this] { signInAction(signInButton); });
    connect(rememberMeButton, &QAbstractButton::clicked, this,
            [this] { rememberMeAction(rememberMeButton); });
    connect(albumControls, &SegmentedControl::activated, this,
            [this] { processAlbum(albumControls); });

    const Ui::OvPiktoAlbumWindowController& album = *m_albumSheetUi;
    connect(album.closeAddAlbumButton, &QAbstractButton::clicked, this,
            [this] { applyEditAlbum(closeAddAlbumButton); });
    connect(album.cancelEditAlbumButton, &QAbstractButton::clicked, this,
            [this, button = album.cancelEditAlbumButton] { cancelEditAlbum(button); });

    const Ui::OvPiktoUploadWindowController& upload = *m_uploadSheetUi;
    connect(upload.cancelUploadButton, &QAbstractButton::clicked, this,
            [this, button = upload.cancelUploadButton] { cancelUpload(button); });
    connect(upload.retryUploadButton, &QAbstractButton::clicked, this,
            [this, button = upload.retryUploadButton] { retryImageUpload(button); });
    connect(upload.cancelRetryUploadButton, &QAbstractButton::clicked, this,
            [this, button = upload.cancelRetryUploadButton] { cancelRetryImageUpload(button); });
    connect(upload.closeUploadWindowButton, &QAbstractButton::clicked, this,
            [this, button = upload.closeUploadWindowButton] { closeUploadWindow(button); });

    connect(m_skippedSheetUi->closeSkippedImagesButton, &QAbstractButton::clicked, this,
            [this, button = m_skippedSheetUi->closeSkippedImagesButton] {
                closeSkippedImagesWindow(button);
            });
}

void OvPiktoExporter::awakeFromNib() {
    try {
        isExportStarted = false;
        failedConnectionMaxRetries = 30;
        failedConnectionRetryDelay = 180;

        // One formatter serves both sign-in fields; the page keeps it.
        auto* formatter = new QZFormatter(20, mSettingsBox);
        loginText->setValidator(formatter);
        passwordText->setValidator(formatter);

        logoLabelText->setFont(QZUtils::createFontWithFontName("Helvetica Neue", 24, "Light"));
        loginLabelText->setFont(QZUtils::createFontWithFontName("Lucida Grande", 12, "Bold"));
        loginLabelText->setColorWithIntR(0, 0, 0);
        loginLabelText->setIsScreenNameHackEnabled(true);
        signOutLabel->setFont(QZUtils::createFontWithFontName("Lucida Grande", 12, "Regular"));
        signOutLabel->setCallbackObject([this] { signOut(); });
        signOutLabel->setColorWithIntR(90, 90, 90);
        signOutLabel->setObjectValue(QStringLiteral("Выход"));
        updateSoftwareLink->setFont(
            QZUtils::createFontWithFontName("Lucida Grande", 11, "Regular"));
        updateSoftwareLink->setCallbackObject([this] { updateSoftware(); });
        updateSoftwareLink->setColorWithIntR(90, 90, 90);
        updateSoftwareLink->setObjectValue(QStringLiteral("Обновления"));
        registerText->setObjectValue(QStringLiteral("Зарегистрироваться"));
        registerText->setUrl(QUrl(m_serviceUrls.registerPage()));
        forgottenPasswordText->setObjectValue(QStringLiteral("Забыли пароль?"));
        forgottenPasswordText->setUrl(QUrl(m_serviceUrls.rememberPage()));

        setAlbumTableActions();

        userCreateAlbum->setFont(QZUtils::createFontWithFontName("Lucida Grande", 11, "Regular"));
        userCreateAlbum->setCallbackObject([this] { createAlbum(); });
        userCreateAlbum->setObjectValue(QStringLiteral("создайте новый"));
        userCreateAlbum->setColorWithIntR(90, 90, 90);

        smallOvranaPiktoLogoLabel->setFont(
            QZUtils::createFontWithFontName("Calibri", 20, "Regular"));

        albumsList->setShowAlbumSelector([this] { goToAlbumOnPiktoWebsite(); });

        for (int segment = 0; segment < 3; ++segment) {
            albumControls->setWidth(segmentWidth, segment);
            albumControls->setLabel(QString(), segment);
        }

        mFirstView = loginText;

        OvPiktoExporterGlobals::pluginVersion = loadPluginVersionInfo();
        if (!OvPiktoExporterGlobals::pluginVersion.isNull()) {
            versionInfo->setFont(QZUtils::createFontWithFontName("Lucida Grande", 11, "Regular"));
            versionInfo->setText(
                QStringLiteral("Версия: %1").arg(OvPiktoExporterGlobals::pluginVersion));
            updatePluginBundleVersion(OvPiktoExporterGlobals::pluginVersion);
        }

        newAlbumPasswordRemove->setCallbackObject([this] { resetPasswordOnAlbum(); });
        newAlbumPasswordRemove->setObjectValue(QStringLiteral("Снять пароль"));
        newAlbumPasswordRemove->setFont(
            QZUtils::createFontWithFontName("Lucida Grande", 12, "Regular"));
        newAlbumPasswordRemove->setColorWithIntR(130, 130, 130);

        setAlbumTableActions();

        enableSignInControls(true);
        if (loadUserAccount())
            startAutomaticSignIn();
        logStep("awakeFromNib", "Exited OK");
    } catch (const std::exception& exception) {
        Log::caught(QStringLiteral("awakeFromNib"), exception);
    }
}

void OvPiktoExporter::setAlbumTableActions() {
    // Set twice during set-up; a double click must still edit only once.
    disconnect(m_albumDoubleClick);
    m_albumDoubleClick = connect(albumsList, &QAbstractItemView::doubleClicked, this,
                                 [this] { editAlbum(albumsList); });
}

QWidget* OvPiktoExporter::settingsView() {
    return mSettingsBox;
}

QWidget* OvPiktoExporter::firstView() {
    return mFirstView;
}

void OvPiktoExporter::viewWillBeActivated() {
    try {
        // An automatic sign-in is about to run: it sets the page up itself.
        if (OvPiktoExporterGlobals::isAutoSignInInProgress)
            return;
        imagesToUpload = makeListOfImagesToUpload();
        reloadAlbumsList();
        updateImageCountLabel();
        albumsList->setFocus();
        enableSignInControls(true);
        signInProgress->hide();
        passwordText->clear();
    } catch (const std::exception& exception) {
        Log::caught(QStringLiteral("viewWillBeActivated"), exception);
    }
}

void OvPiktoExporter::viewWillBeDeactivated() {}

QString OvPiktoExporter::requiredFileType() {
    return mExportMgr->imageCount() < 2 ? QStringLiteral("jpg") : QStringLiteral("");
}

bool OvPiktoExporter::wantsDestinationPrompt() {
    return false;
}

QString OvPiktoExporter::getDestinationPath() {
    return QStringLiteral("");
}

QString OvPiktoExporter::defaultFileName() {
    return QStringLiteral("");
}

QString OvPiktoExporter::defaultDirectory() {
    return QStringLiteral("~/Pictures/");
}

bool OvPiktoExporter::treatSingleSelectionDifferently() {
    return false;
}

bool OvPiktoExporter::handlesMovieFiles() {
    return false;
}

bool OvPiktoExporter::validateUserCreatedPath(const QString& path) {
    (void)path;
    return false;
}

ExportPluginProgress* OvPiktoExporter::progress() {
    return &mProgress;
}

void OvPiktoExporter::lockProgress() {
    mProgressLock.lock();
}

void OvPiktoExporter::unlockProgress() {
    mProgressLock.unlock();
}

void OvPiktoExporter::cancelExport() {
    mProgress.shouldCancel = true;
}

QString OvPiktoExporter::name() {
    return QStringLiteral("Ovrana.Pikto Exporter");
}

void OvPiktoExporter::clickExport() {
    mExportMgr->clickExport();
}

std::int32_t OvPiktoExporter::activePluginTab() const {
    return mainTabView->currentIndex() == 0 ? 0 : 1;
}

void OvPiktoExporter::updateImageCountLabel() {
    const auto imageCount = int(imagesToUpload.size());
    const QString text = QStringLiteral("Вы собираетесь загрузить %1 фото.").arg(imageCount);
    // The number starts after "Вы собираетесь загрузить ".
    constexpr int numberStart = 25;
    const auto numberLength = int(QString::number(imageCount).size());

    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat whole;
    whole.setFont(QZUtils::createFontWithFontName("Lucida Grande", 11, "Regular"));
    cursor.insertText(text, whole);
    QTextCharFormat number;
    number.setFont(QZUtils::createFontWithFontName("Lucida Grande", 12, "Bold"));
    cursor.setPosition(numberStart);
    cursor.setPosition(numberStart + numberLength, QTextCursor::KeepAnchor);
    cursor.setCharFormat(number);
    imagesCountLabel->setTextFormat(Qt::RichText);
    imagesCountLabel->setText(document.toHtml());
}

void OvPiktoExporter::exportDialogDidEnd(QWidget* sheet, int returnCode, QWidget* contextInfo) {
    (void)sheet;
    (void)returnCode;
    (void)contextInfo;
    isExportStarted = false;
    reloadAlbumsListShowingErrors(false);
}
