// Export: the list of photos, the upload sheet and the upload of one photo after another.
#include "ovpiktoexporter.h"

#include "log.h"
#include "ovpiktoalbumlist.h"
#include "ovpiktoalbumslistcontroller.h"
#include "ovpiktoexporterbox.h"
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoexporterglobals.h"
#include "ovpiktoexportersteps.h"
#include "ovpiktoexporteruploader.h"
#include "ovpiktoimageselection.h"
#include "ovpiktoskippedimageswindow.h"
#include "ovpiktouploadoptions.h"
#include "ovpiktouploadtexts.h"
#include "ovpiktouploadwindowcontroller.h"
#include "qzlink.h"
#include "serviceurls.h"
#include "tickwait.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <exception>
#include <functional>

namespace G = OvPiktoExporterGlobals;

using namespace OvPiktoExporterSteps;

namespace {

// The uploader's progress poll and the retry timer run in this mode; kept as data.
const QString modalPanelRunLoopMode = QStringLiteral("NSModalPanelRunLoopMode");
// Pause between album checks after a photo: a quarter of a second.
constexpr unsigned albumCheckPauseTicks = 15;
// Checks after the first one while the album cannot be reached.
constexpr int albumCheckRepeats = 3;
// The upload sheet's pages.
constexpr int progressPage = 0;
constexpr int failurePage = 1;
constexpr int resultsPage = 2;

OVPiktoCredentials userCredentials(const OvPiktoExporter& e) {
    return e.credentials.value_or(OVPiktoCredentials());
}

// Places a widget of the results page `y` points above the page's bottom edge with
// `height`, keeping x and width: the sheet's frames are measured from the bottom up. The
// page is as tall as the sheet's page stack (a page that is not showing yet may not have
// been given its size).
void setResultFrame(OvPiktoExporter& e, QWidget* widget, int y, int height) {
    const QRect frame = widget->geometry();
    widget->setGeometry(frame.x(), e.uploadTab->height() - y - height, frame.width(), height);
}

// Shows `sheet` window-modal on the export window; `didEnd` runs once, when the sheet
// ends (endSheet, or any other way the dialog finishes).
void beginSheet(OvPiktoExporter& e, QDialog* sheet, std::function<void(int)> didEnd) {
    QObject::disconnect(sheet, &QDialog::finished, &e, nullptr);
    if (didEnd)
        QObject::connect(sheet, &QDialog::finished, &e, std::move(didEnd),
                         Qt::SingleShotConnection);
    sheet->open();
}

// Closes the sheet and runs its end handler with `returnCode`.
void endSheet(QDialog* sheet, int returnCode) {
    sheet->done(returnCode);
}

void fillSkippedImagesList(OvPiktoExporter& e) {
    e.skippedImagesList->setPlainText(QString());
    for (const QString& path : e.skippedImages)
        e.appendStringToTextView(e.skippedImagesList, path, true);
}

void showAlbumLink(OvPiktoExporter& e) {
    QZLink* link = e.linkToUploadedAlbum;
    setResultFrame(e, link, 56, link->height());
    link->show();
    link->setObjectValue(OvPiktoUploadTexts::albumLinkText());
    link->setUrl(
        QUrl(e.serviceUrls().albumPage(userCredentials(e).login(), e.getSelectedAlbumId())));
}

// Event 10: the data sent so far, drawn only when the amount has changed.
void showUploadProgress(OvPiktoExporter& e) {
    if (!e.isExportStarted || !e.uploader)
        return;
    const int sent = e.uploader->bytesSent();
    if (sent == -1)
        return;
    const double value = OvPiktoUploadTexts::kibFromBytes(sent);
    if (value == G::prevSize)
        return;
    G::prevSize = value;
    const double done = value + e.uploadedImagesDataLenth;
    if (e.dataLength > 0)
        e.uploadProgressIndicator->setValue(qBound(0, qRound(done / e.dataLength * 100.0), 100));
    e.uploadProgressDataLabel->setText(e.buildUploadedDataSizeMessage(done, e.dataLength));
}

void showRetryPage(OvPiktoExporter& e) {
    e.showUploadFailureTab();
    e.uploadResultFailureLabel->setText(text("OVErrorUploadRetry"));
}

// After a completed photo: the next one goes only to an album that still exists.
void checkAlbumAndSendNextPhoto(OvPiktoExporter& e) {
    G::photoUploadError = e.checkWhetherAlbumExists();
    if (G::photoUploadError == 0) {
        e.uploadImageWithIndex(e.currentImageIdx);
        return;
    }
    if (G::photoUploadError != 1 && G::photoUploadError != 2) {
        e.stopUploadAndShowNetworkError();
        return;
    }
    for (int repeat = 0; repeat < albumCheckRepeats; ++repeat) {
        TickWait::delay(albumCheckPauseTicks);
        G::photoUploadError = e.checkWhetherAlbumExists();
        if (G::photoUploadError == 0) {
            e.uploadImageWithIndex(e.currentImageIdx);
            return;
        }
    }
    showRetryPage(e);
}

// Event 11.
void photoUploaded(OvPiktoExporter& e) {
    if (e.currentImageIdx >= e.imagesToUpload.size() - 1) {
        e.showUploadResultsTab();
        e.uploader.reset();
        setResultFrame(e, e.uploadResultLabel, 76, 17);
        e.uploadResultLabel->setText(text("OVAllImagesSuccessfullyUploaded"));
        showAlbumLink(e);
        e.reloadAlbumsListShowingErrors(false);
        return;
    }
    // Measured without a delegate: a file gone by now must not read as a failed start.
    e.uploader->setDelegate(nullptr);
    const int bytes = e.uploader->postDataSize();
    if (bytes > 0)
        e.uploadedImagesDataLenth += OvPiktoUploadTexts::kibFromBytes(bytes);
    e.uploader.reset();
    ++e.currentImageIdx;
    checkAlbumAndSendNextPhoto(e);
}

// Events 12 and 13: whether to offer a retry depends on the album.
void photoFailed(OvPiktoExporter& e) {
    e.uploader.reset();
    G::photoUploadError = e.checkWhetherAlbumExists();
    if (unsigned(G::photoUploadError) > 2) {
        e.stopUploadAndShowNetworkError();
        return;
    }
    showRetryPage(e);
}

// Events 0 to 7: the request never went out (the file is gone or unreadable, or the
// upload address is unusable). No further event would come, so instead of a progress
// page that waits for ever the failure page names the file.
void photoNotStarted(OvPiktoExporter& e) {
    QString path = e.imagesToUpload.value(e.currentImageIdx);
    if (e.uploader && e.uploader->uploadOptions())
        path = e.uploader->uploadOptions()->filePath();
    e.uploader.reset();
    e.showUploadFailureTab();
    QString message = text("OVErrorUploadNotStarted");
    if (!message.contains(QLatin1String("%@")))
        message = QStringLiteral("%@");
    e.uploadResultFailureLabel->setText(
        message.replace(QLatin1String("%@"), QFileInfo(path).fileName()));
}

// Cancel on the progress page or on the failure page.
void endUploadByUser(OvPiktoExporter& e, const QString& lead) {
    // A retry that has not fired yet must not restart the photo behind the results.
    e.uploadRetryDelayTimer.reset();
    e.uploadProgressLabel->setText(text("OPCancellingUpload"));
    if (e.uploader) {
        e.uploader->cancel();
        e.uploader.reset();
    }
    e.uploadResultLabel->setText(OvPiktoUploadTexts::cancelResult(lead, e.currentImageIdx));
    if (e.currentImageIdx > 0) {
        showAlbumLink(e);
        setResultFrame(e, e.uploadResultLabel, 76, 17);
    } else {
        e.linkToUploadedAlbum->hide();
        setResultFrame(e, e.uploadResultLabel, 66, 17);
    }
    e.showUploadResultsTab();
}

} // namespace

QStringList OvPiktoExporter::makeListOfImagesToUpload() {
    OvPiktoImageSelection::Lists lists = OvPiktoImageSelection::makeListOfImagesToUpload(
        [this] { return mExportMgr ? int(mExportMgr->imageCount()) : 0; },
        [this](int index) { return mExportMgr->imagePathAtIndex(unsigned(index)); });
    skippedImages = std::move(lists.skippedImages);
    return std::move(lists.imagesToUpload);
}

void OvPiktoExporter::startExport(const QString& path) {
    (void)path;
    if (!isSignedIn)
        return;
    if (imagesToUpload.isEmpty()) {
        if (skippedImages.isEmpty())
            return;
        // Only files that are too large: the list is all there is; closing it ends here.
        fillSkippedImagesList(*this);
        beginSheet(*this, skippedImagesWindow, {});
        return;
    }
    if (isExportStarted)
        return;
    try {
        G::albumIDBeforeUpload = getSelectedAlbumId();
        if (G::albumIDBeforeUpload.isNull()) {
            QZUtils::showMessage(text("OVNoAlbumSelected"), text("OPServiceName"),
                                 QStringLiteral("UI_login.png"));
            return;
        }
        if (!reloadAlbumsListShowingErrors(false)) {
            showErrorWithTitle(text("OPProcedureErrorTitleUploadImage"), 2);
            return;
        }
        G::albumIDImagesUploadedTo = getSelectedAlbumId();
        if (G::albumIDImagesUploadedTo != G::albumIDBeforeUpload) {
            // The album has gone, or the reload moved the selection.
            showErrorWithTitle(text("OPProcedureErrorTitleUploadImage"), 4);
            return;
        }
        dataLength = 0;
        uploadedImagesDataLenth = 0;
        dataLength = calcTotalUploadSize();
        if (skippedImages.isEmpty()) {
            beginImagesUpload();
            return;
        }
        fillSkippedImagesList(*this);
        beginSheet(*this, skippedImagesWindow, [this](int returnCode) {
            skippedImagesWindowDidEnd(skippedImagesWindow, returnCode, mSettingsBox->window());
        });
    } catch (const std::exception& exception) {
        Log::write(
            QStringLiteral("main: Caught %1: %2")
                .arg(Log::exceptionName(exception), QString::fromLocal8Bit(exception.what())));
    }
}

void OvPiktoExporter::performExport(const QString& path) {
    (void)path;
}

void OvPiktoExporter::beginImagesUpload() {
    isExportStarted = true;
    currentImageIdx = 0;
    uploadedImagesDataLenth = 0;
    uploadProgressLabel->setText(
        OvPiktoUploadTexts::firstPhotoProgress(int(imagesToUpload.size())));
    uploadProgressIndicator->setRange(0, 0); // indeterminate until the connection opens
    uploadProgressIndicator->setValue(0);
    uploadProgressDataLabel->setText(OvPiktoUploadTexts::startingText());
    beginSheet(*this, uploadWindow, [this](int returnCode) {
        exportDialogDidEnd(uploadWindow, returnCode, mSettingsBox->window());
    });
    uploadImage(imagesToUpload.first());
}

void OvPiktoExporter::uploadImageWithIndex(int index) {
    uploadProgressLabel->setText(
        OvPiktoUploadTexts::photoProgress(index + 1, int(imagesToUpload.size())));
    uploadImage(imagesToUpload.at(index));
}

void OvPiktoExporter::uploadImage(const QString& path) {
    uploader.reset();
    OVPiktoUploadOptions options(path);
    options.setFileName(QFileInfo(path).fileName());
    const OVPiktoCredentials copy = OVPiktoCredentials::initWithCredentials(userCredentials(*this));

    reloadAlbumsListShowingErrors(false); // keeps the table current; the result is not needed
    if (G::albumIDImagesUploadedTo == QLatin1String("-1"))
        G::albumIDImagesUploadedTo = getSelectedAlbumId();
    options.setAlbumID(G::albumIDImagesUploadedTo);

    switch (imageAccessRadioGroup ? imageAccessRadioGroup->checkedId() : -1) {
    case 0:
        options.setAccess(OVPiktoUploadOptions::Public);
        break;
    case 1:
        options.setAccess(OVPiktoUploadOptions::Friends);
        break;
    default:
        options.setAccess(OVPiktoUploadOptions::Private);
        break;
    }
    options.setIsCommentingDisabled(disableComments->checkState() == Qt::Checked);
    options.setIsPublishingDisabled(disablePublishing->checkState() == Qt::Checked);
    options.setIsAdultsOnly(adultsOnly->checkState() == Qt::Checked);
    options.setExportPluginVersion(G::pluginVersion);

    uploader = std::make_unique<OvPiktoExporterUploader>(serviceUrls(), this);
    uploader->setCredentials(copy);
    uploader->setUploadOptions(options);
    uploader->setCustomRunLoopMode(modalPanelRunLoopMode);
    // A set-up failure is reported from inside start, and its reaction releases the
    // uploader: nothing may touch it after this call.
    uploader->start();
}

double OvPiktoExporter::calcTotalUploadSize() {
    double total = 0.0;
    const OVPiktoCredentials user = userCredentials(*this);
    for (int i = 0; i < imagesToUpload.size(); ++i) {
        const QString& path = imagesToUpload.at(i);
        OVPiktoUploadOptions options(path);
        options.setFileName(QFileInfo(path).fileName());
        options.setAlbumID(G::albumIDImagesUploadedTo);
        OvPiktoExporterUploader sizer(serviceUrls());
        sizer.setUploadOptions(options);
        sizer.setCredentials(OVPiktoCredentials::initWithCredentials(user));
        // A file that cannot be measured any more adds nothing (not -1 byte); its upload
        // reports it.
        const int bytes = sizer.postDataSize();
        const double kib = bytes < 0 ? 0.0 : OvPiktoUploadTexts::kibFromBytes(bytes);
        Log::write(QString::asprintf("file %d, size: %.2f", i, kib));
        total += kib;
    }
    return total;
}

QString OvPiktoExporter::getSelectedAlbumId() {
    if (!albumsList || !albumsListController || !albumsList->selectionModel())
        return {};
    const std::optional<QList<OvPiktoAlbum>>& albums = albumsListController->albums();
    if (!albums)
        return {};
    int first = -1;
    for (const QModelIndex& index : albumsList->selectionModel()->selectedRows())
        if (first < 0 || index.row() < first)
            first = index.row();
    if (first < 0 || first >= albums->size())
        return {};
    return albums->at(first).albumId();
}

int OvPiktoExporter::checkWhetherAlbumExists() {
    if (getSelectedAlbumId() == QLatin1String("-1"))
        return G::photoUploadError;
    return checkWhetherAlbumExistsWithID(G::albumIDImagesUploadedTo);
}

int OvPiktoExporter::checkWhetherAlbumExistsWithID(const QString& albumId) {
    if (albumId == QLatin1String("-1"))
        return G::photoUploadError;
    int error = 0;
    communicationLayer->fetchAlbumDataWithID(albumId, userCredentials(*this), &error);
    return error;
}

void OvPiktoExporter::uploadEvent(Event event) {
    switch (event) {
    case OvPiktoExporterUploader::ConnectionOpened:
        Log::write(QStringLiteral("connection opened"));
        if (currentImageIdx == 0) {
            G::prevSize = 0;
            uploadProgressIndicator->setRange(0, 100);
        }
        break;
    case OvPiktoExporterUploader::ProgressTick:
        showUploadProgress(*this);
        break;
    case OvPiktoExporterUploader::UploadFinished:
        photoUploaded(*this);
        break;
    case OvPiktoExporterUploader::UploadFailed:
    case OvPiktoExporterUploader::StreamError:
        photoFailed(*this);
        break;
    case OvPiktoExporterUploader::ResponseReceived:
        break;
    default:
        if (event >= OvPiktoExporterUploader::FileAttributesUnreadable &&
            event <= OvPiktoExporterUploader::BytesSentUnreadable)
            photoNotStarted(*this);
        break;
    }
}

void OvPiktoExporter::stopUploadAndShowNetworkError() {
    if (uploader) {
        uploader->cancel();
        uploader.reset();
    }
    setResultFrame(*this, uploadResultLabel, 65, 35);
    QString message;
    switch (G::photoUploadError) {
    case 5:
        message = text("OVErrorAccessForbidden");
        break;
    case 4:
        message = text("OVErrorAlbumNotFound");
        break;
    case 3:
        message = text("OPErrorAuth");
        break;
    case 2:
        message = text("OVErrorConnection");
        break;
    default:
        break;
    }
    const QString result = text("OPProcedureErrorTitleUploadImage") + QLatin1Char(' ') + message;
    Log::write(result);
    uploadResultLabel->setText(result);
    linkToUploadedAlbum->hide();
    showUploadResultsTab();
}

QString OvPiktoExporter::buildUploadedDataSizeMessage(double uploaded, double dataSize) {
    return OvPiktoUploadTexts::buildUploadedDataSizeMessage(uploaded, dataSize);
}

void OvPiktoExporter::appendStringToTextView(QTextEdit* textView, const QString& string,
                                             bool withLinebreak) {
    if (!textView)
        return;
    QTextCursor end(textView->document());
    end.movePosition(QTextCursor::End);
    end.insertText(OvPiktoUploadTexts::skippedListLine(string, withLinebreak));
    textView->setTextCursor(end);
    textView->ensureCursorVisible();
    QTextCharFormat font;
    font.setFont(QZUtils::createFontWithFontName(QStringLiteral("Lucida Grande"), 13,
                                                 QStringLiteral("Regular")));
    QTextCursor all(textView->document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(font);
}

void OvPiktoExporter::showUploadProgressTab() {
    uploadTab->setCurrentIndex(progressPage);
    linkToUploadedAlbum->hide();
}

void OvPiktoExporter::showUploadFailureTab() {
    uploadTab->setCurrentIndex(failurePage);
}

void OvPiktoExporter::showUploadResultsTab() {
    uploadTab->setCurrentIndex(resultsPage);
}

void OvPiktoExporter::skippedImagesWindowDidEnd(QWidget* sheet, int returnCode,
                                                QWidget* contextInfo) {
    (void)returnCode;
    (void)contextInfo;
    if (sheet)
        sheet->hide();
    beginImagesUpload();
}

void OvPiktoExporter::closeSkippedImagesWindow(QObject* sender) {
    (void)sender;
    endSheet(skippedImagesWindow, 0);
}

void OvPiktoExporter::cancelUpload(QObject* sender) {
    (void)sender;
    endUploadByUser(*this, OvPiktoUploadTexts::cancelledByUserLead());
}

void OvPiktoExporter::retryImageUpload(QObject* sender) {
    (void)sender;
    uploadProgressDataLabel->setText(
        buildUploadedDataSizeMessage(uploadedImagesDataLenth, dataLength));
    showUploadProgressTab();
    uploadRetryDelayTimer.reset();
    // Fires on the next pass of the event loop, while the sheet is up.
    uploadRetryDelayTimer = std::make_unique<QTimer>();
    uploadRetryDelayTimer->setSingleShot(true);
    uploadRetryDelayTimer->setInterval(0);
    QTimer* timer = uploadRetryDelayTimer.get();
    connect(timer, &QTimer::timeout, this, [this, timer] { retryOnFailedImageUploadDelay(timer); });
    timer->start();
}

void OvPiktoExporter::cancelRetryImageUpload(QObject* sender) {
    (void)sender;
    endUploadByUser(*this, text("OVErrorConnection"));
}

void OvPiktoExporter::retryOnFailedImageUploadDelay(QTimer* timer) {
    (void)timer;
    // The timer is emitting right now: it goes once the event loop is back.
    if (uploadRetryDelayTimer)
        uploadRetryDelayTimer.release()->deleteLater();
    uploadImageWithIndex(currentImageIdx);
}

void OvPiktoExporter::closeUploadWindow(QObject* sender) {
    (void)sender;
    endSheet(uploadWindow, 0);
    showUploadProgressTab();
}
