#include "ovpiktoalbumwindowcontroller.h"

#include "ovpiktoexporterglobals.h"

#include <QKeyEvent>

OvPiktoAlbumWindowController::OvPiktoAlbumWindowController(QWidget* parent) : QDialog(parent) {}

bool OvPiktoAlbumWindowController::performKeyEquivalent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return) {
        endSheet(true);
        return true;
    }
    QDialog::keyPressEvent(event);
    return event->isAccepted();
}

void OvPiktoAlbumWindowController::keyUp(QKeyEvent* event) {
    QDialog::keyReleaseEvent(event);
}

void OvPiktoAlbumWindowController::closeWindow() {
    done(1001);
}

void OvPiktoAlbumWindowController::reject() {
    endSheet(false);
}

void OvPiktoAlbumWindowController::keyPressEvent(QKeyEvent* event) {
    // Escape reaches QDialog's handling, which rejects: the sheet is discarded.
    performKeyEquivalent(event);
}

void OvPiktoAlbumWindowController::keyReleaseEvent(QKeyEvent* event) {
    keyUp(event);
}

void OvPiktoAlbumWindowController::endSheet(bool apply) {
    if (!isVisible())
        return;
    OvPiktoExporterGlobals::applyAlbumChanges = apply;
    closeWindow();
}
