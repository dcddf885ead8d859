// Album management: the album table's commands, the album sheet and the list reload.
#include "ovpiktoexporter.h"

void OvPiktoExporter::processAlbum(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::createAlbum() {}

void OvPiktoExporter::editAlbum(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::applyEditAlbum(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::cancelEditAlbum(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::addAlbum(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::cancelAlbumAction(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::albumCreateConfirmationDidEnd(QWidget* sheet, int returnCode,
                                                    QWidget* contextInfo) {
    (void)sheet;
    (void)returnCode;
    (void)contextInfo;
}

void OvPiktoExporter::albumDeleteConfirmationDidEnd(QWidget* alert, int returnCode,
                                                    QWidget* contextInfo) {
    (void)alert;
    (void)returnCode;
    (void)contextInfo;
}

void OvPiktoExporter::showErrorWithTitle(const QString& title, int error,
                                         QZUtils::AlertEnd didEnd) {
    (void)title;
    (void)error;
    (void)didEnd;
}

void OvPiktoExporter::showAlbumRemovePasswordControls(bool show) {
    (void)show;
}

void OvPiktoExporter::resetPasswordOnAlbum() {}

void OvPiktoExporter::goToAlbumOnPiktoWebsite() {}

void OvPiktoExporter::reloadAlbumsList() {
    reloadAlbumsListShowingErrors(false);
}

bool OvPiktoExporter::reloadAlbumsListShowingErrors(bool showErrors) {
    (void)showErrors;
    return false;
}
