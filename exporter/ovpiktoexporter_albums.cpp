// Album management: the album table's commands, the album sheet and the list reload.
#include "ovpiktoexporter.h"

#include "log.h"
#include "ovpiktoalbumlist.h"
#include "ovpiktoalbumslistcontroller.h"
#include "ovpiktoalbumwindowcontroller.h"
#include "ovpiktoexporterbox.h"
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoexporterglobals.h"
#include "ovpiktoexportersteps.h"
#include "qzlink.h"
#include "qztextfield.h"
#include "qzutils.h"
#include "segmentedcontrol.h"
#include "serviceresult.h"
#include "serviceurls.h"
#include "tickwait.h"

#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

using namespace OvPiktoExporterGlobals;

using namespace OvPiktoExporterSteps;

namespace {

const QString alertIcon = QStringLiteral("UI_login.png");
const QString placeholderAlbumId = QStringLiteral("-1");
constexpr int albumListAttempts = 5;
constexpr unsigned albumListRetryTicks = 15;
constexpr unsigned deleteCheckTicks = 50;

// The lowest and the highest selected row of the table; -1 when nothing is selected.
struct SelectedRows {
    int first = -1;
    int last = -1;
};

SelectedRows selectedRows(const OvPiktoAlbumList* table) {
    SelectedRows rows;
    const QItemSelectionModel* selection = table ? table->selectionModel() : nullptr;
    if (!selection)
        return rows;
    for (const QModelIndex& index : selection->selectedRows()) {
        if (rows.first < 0 || index.row() < rows.first)
            rows.first = index.row();
        if (index.row() > rows.last)
            rows.last = index.row();
    }
    return rows;
}

// The album of `row`, or nothing when the row is outside the list.
std::optional<OvPiktoAlbum> albumAt(const OvPiktoAlbumsListController* controller, int row) {
    const auto& albums = controller->albums();
    if (!albums || row < 0 || row >= albums->size())
        return std::nullopt;
    return albums->at(row);
}

// Whether the open sheet removed the password of the album it edits; then its save sends
// the password field's text instead of keeping the album's password.
bool passwordRemovedInSheet = false;

// Opens the album sheet on the export window; its end handler runs once, whichever way
// the sheet is closed.
void beginAlbumSheet(OvPiktoExporter& exporter) {
    passwordRemovedInSheet = false;
    OvPiktoAlbumWindowController* sheet = exporter.albumProperties;
    QWidget* window = exporter.mSettingsBox->window();
    QObject::connect(
        sheet, &QDialog::finished, &exporter,
        [&exporter, sheet, window](int code) {
            exporter.albumCreateConfirmationDidEnd(sheet, code, window);
        },
        Qt::SingleShotConnection);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

} // namespace

void OvPiktoExporter::processAlbum(QObject* sender) {
    const auto* control = qobject_cast<const SegmentedControl*>(sender);
    if (!control || control->selectedSegment() < 0)
        return;
    switch (control->tag(control->selectedSegment())) {
    case 0:
        createAlbum();
        break;
    case 1: {
        const auto album = albumAt(albumsListController, selectedRows(albumsList).last);
        if (!album)
            return;
        // The format names the album with "%@".
        const QString message =
            text("OVAlbumDeleteConfirmation").replace(QStringLiteral("%@"), album->name());
        // The answer is acted on once the confirmation has closed, so that an error alert
        // attaches to the export window and not to the closing confirmation.
        QZUtils::showYesCancelMessage(
            message, QStringLiteral("Внимание!"), alertIcon, [this](int code, QWidget* window) {
                QTimer::singleShot(0, this, [this, code, window = QPointer<QWidget>(window)] {
                    albumDeleteConfirmationDidEnd(nullptr, code, window);
                });
            });
        break;
    }
    case 2:
        reloadAlbumsListShowingErrors(true);
        break;
    default:
        break;
    }
}

void OvPiktoExporter::createAlbum() {
    logStep("createAlbum", "Entered");
    isAlbumCreated = true;
    albumHeaderLabelText->setText(QStringLiteral("Создание нового альбома"));
    closeAddAlbumButton->setText(QStringLiteral("Создать"));
    newAlbumName->clear();
    newAlbumName->setFocus();
    newAlbumDescription->clear();
    newAlbumPassword->clear();
    closeAddAlbumButton->setDefault(true);
    showAlbumRemovePasswordControls(false);
    beginAlbumSheet(*this);
    logStep("createAlbum", "Exited OK");
}

void OvPiktoExporter::editAlbum(QObject* sender) {
    logStep("editAlbum", "Entered");
    // A double click outside the rows leaves the table without a clicked row.
    if (sender == albumsList && !albumsList->currentIndex().isValid())
        return;
    isAlbumCreated = false;
    albumHeaderLabelText->setText(QStringLiteral("Свойства альбома"));
    closeAddAlbumButton->setText(QStringLiteral("Сохранить"));
    const auto album = albumAt(albumsListController, selectedRows(albumsList).last);
    if (!album)
        return;
    newAlbumName->setText(album->name());
    newAlbumDescription->setText(album->description());
    newAlbumPassword->clear();
    if (album->albumId() == placeholderAlbumId)
        return;
    showAlbumRemovePasswordControls(album->isLocked());
    closeAddAlbumButton->setDefault(true);
    beginAlbumSheet(*this);
    newAlbumName->setFocus();
    logStep("editAlbum", "Exited OK");
}

void OvPiktoExporter::applyEditAlbum(QObject* sender) {
    (void)sender;
    applyAlbumChanges = true;
    albumProperties->closeWindow();
}

void OvPiktoExporter::cancelEditAlbum(QObject* sender) {
    (void)sender;
    applyAlbumChanges = false;
    albumProperties->closeWindow();
}

void OvPiktoExporter::addAlbum(QObject* sender) {
    (void)sender;
    albumProperties->closeWindow();
}

void OvPiktoExporter::cancelAlbumAction(QObject* sender) {
    (void)sender;
    albumProperties->done(QZUtils::alertFirstButtonReturn);
}

void OvPiktoExporter::albumCreateConfirmationDidEnd(QWidget* sheet, int returnCode,
                                                    QWidget* contextInfo) {
    (void)returnCode;
    (void)contextInfo;
    logStep("albumCreateConfirmationDidEnd", "Entered");
    if (sheet)
        sheet->hide();
    if (!applyAlbumChanges) {
        reloadAlbumsList();
        logStep("albumCreateConfirmationDidEnd", "Exited OK");
        return;
    }
    if (QZUtils::trimString(newAlbumName->text()).isEmpty()) {
        logStep("albumCreateConfirmationDidEnd", "Exited OK");
        return;
    }
    int error = ServiceResult::Success;
    QString newAlbumId;
    if (isAlbumCreated) {
        newAlbumId = communicationLayer->createNewUserAlbumWithTitle(
            newAlbumName->text(), newAlbumDescription->text(), newAlbumPassword->text(),
            credentials.value_or(OVPiktoCredentials()), &error);
        if (error != ServiceResult::Success) {
            showErrorWithTitle(text("OPProcedureErrorTitleAddAlbum"), error);
            return;
        }
    } else {
        // With no row selected any more there is no album to save; the reload shows why.
        if (const auto album = albumAt(albumsListController, selectedRows(albumsList).last)) {
            // A protected album keeps its password unless the sheet removed it; the sheet
            // has no password field for it.
            std::optional<QString> password = newAlbumPassword->text();
            if (album->isLocked() && !passwordRemovedInSheet)
                password = std::nullopt;
            const QString albumId = album->albumId();
            communicationLayer->updateUserAlbumWithID(
                albumId, newAlbumName->text(), newAlbumDescription->text(), password,
                credentials.value_or(OVPiktoCredentials()), &error);
            if (error != ServiceResult::Success) {
                showErrorWithTitle(text("OPProcedureErrorTitleEditAlbum"), error);
                return;
            }
        }
    }
    reloadAlbumsList();
    if (isAlbumCreated && !newAlbumId.isEmpty())
        albumsListController->selectAlbumByID(newAlbumId);
    logStep("albumCreateConfirmationDidEnd", "Exited OK");
}

void OvPiktoExporter::albumDeleteConfirmationDidEnd(QWidget* alert, int returnCode,
                                                    QWidget* contextInfo) {
    (void)contextInfo;
    logStep("albumDeleteConfirmationDidEnd", "Entered");
    if (returnCode != QZUtils::alertFirstButtonReturn) {
        logStep("albumDeleteConfirmationDidEnd", "Exited OK");
        return;
    }
    const auto album = albumAt(albumsListController, selectedRows(albumsList).first);
    if (!album) {
        reloadAlbumsList();
        logStep("albumDeleteConfirmationDidEnd", "Exited OK");
        return;
    }
    const QString albumId = album->albumId();
    if (albumId != placeholderAlbumId) {
        const OVPiktoCredentials user = credentials.value_or(OVPiktoCredentials());
        int error = ServiceResult::Success;
        communicationLayer->deleteUserAlbumByID(albumId, user, &error);
        if (error != ServiceResult::Success) {
            // The delete may have taken effect although its answer was lost.
            TickWait::delay(deleteCheckTicks);
            int fetchError = ServiceResult::Success;
            communicationLayer->fetchAlbumDataWithID(albumId, user, &fetchError);
            if (fetchError != ServiceResult::AlbumNotFound) {
                if (alert)
                    alert->hide();
                showErrorWithTitle(text("OPProcedureErrorTitleDeleteAlbum"), fetchError);
                reloadAlbumsList();
                return;
            }
        }
    }
    Log::write(QStringLiteral("deleted album id: %1").arg(albumId));
    reloadAlbumsList();
    logStep("albumDeleteConfirmationDidEnd", "Exited OK");
}

void OvPiktoExporter::showErrorWithTitle(const QString& title, int error,
                                         QZUtils::AlertEnd didEnd) {
    const char* key = error == ServiceResult::NoConnection      ? "OVErrorConnection"
                      : error == ServiceResult::AuthRefused     ? "OPErrorAuth"
                      : error == ServiceResult::AlbumNotFound   ? "OVErrorAlbumNotFound"
                      : error == ServiceResult::AccessForbidden ? "OVErrorAccessForbidden"
                                                                : "OPGotErrorCallSupport";
    QZUtils::showMessage(text(key), title, alertIcon, std::move(didEnd));
}

void OvPiktoExporter::showAlbumRemovePasswordControls(bool show) {
    newAlbumPassword->hide();
    newAlbumPasswordLabel->hide();
    newAlbumPasswordRemove->hide();
    newAlbumPasswordRemoveLabel->hide();
    if (show) {
        newAlbumPasswordRemove->show();
        newAlbumPasswordRemoveLabel->show();
    } else {
        newAlbumPassword->show();
        newAlbumPasswordLabel->show();
    }
}

void OvPiktoExporter::resetPasswordOnAlbum() {
    const auto album = albumAt(albumsListController, selectedRows(albumsList).first);
    if (!album)
        return;
    int error = ServiceResult::Success;
    communicationLayer->updateUserAlbumWithID(album->albumId(), album->name(), album->description(),
                                              QString(), credentials.value_or(OVPiktoCredentials()),
                                              &error);
    if (error == ServiceResult::Success) {
        passwordRemovedInSheet = true;
        showAlbumRemovePasswordControls(false);
    }
}

void OvPiktoExporter::goToAlbumOnPiktoWebsite() {
    const auto album = albumAt(albumsListController, selectedRows(albumsList).first);
    if (!album || album->albumId() == placeholderAlbumId || !credentials)
        return;
    QDesktopServices::openUrl(
        QUrl(communicationLayer->serviceUrls().albumPage(credentials->login(), album->albumId())));
}

void OvPiktoExporter::reloadAlbumsList() {
    reloadAlbumsListShowingErrors(false);
}

bool OvPiktoExporter::reloadAlbumsListShowingErrors(bool showErrors) {
    logStep("reloadAlbumsListShowingErrors", "Entered");
    try {
        if (!credentials || credentials->token().isEmpty()) {
            logStep("reloadAlbumsListShowingErrors", "Exited OK");
            return false;
        }
        QString selectedId;
        const auto& current = albumsListController->albums();
        if (current && !current->isEmpty()) {
            if (const auto album = albumAt(albumsListController, selectedRows(albumsList).first))
                selectedId = album->albumId();
        }
        std::optional<QList<OvPiktoAlbum>> albums;
        int error = ServiceResult::Success;
        for (int attempt = 0; attempt < albumListAttempts; ++attempt) {
            albums = communicationLayer->getUserAlbumsWithCredentials(*credentials, &error);
            if (albums)
                break;
            TickWait::delay(albumListRetryTicks);
        }
        if (showErrors && error != ServiceResult::Success) {
            showErrorWithTitle(text("OPProcedureErrorTitleGetAlbums"), error);
            return false;
        }
        if (albums) {
            albumsListController->setAlbums(std::move(albums));
            if (albumsListController->albums()) {
                albumsList->reloadData();
                albumsList->setFocus();
                if (!selectedId.isEmpty())
                    albumsListController->selectAlbumByID(selectedId);
            }
            logStep("reloadAlbumsListShowingErrors", "Exited OK");
            return true;
        }
    } catch (const std::exception& error) {
        Log::caught(QStringLiteral("reloadAlbumsListShowingErrors"), error);
    }
    return false;
}
