#include "ovpiktoalbumwindowcontroller.h"

#include <QKeyEvent>

OvPiktoAlbumWindowController::OvPiktoAlbumWindowController(QWidget* parent) : QDialog(parent) {}

bool OvPiktoAlbumWindowController::performKeyEquivalent(QKeyEvent* event) {
    (void)event;
    return false;
}

void OvPiktoAlbumWindowController::keyUp(QKeyEvent* event) {
    QDialog::keyReleaseEvent(event);
}

void OvPiktoAlbumWindowController::closeWindow() {
    done(1001);
}

void OvPiktoAlbumWindowController::keyPressEvent(QKeyEvent* event) {
    if (!performKeyEquivalent(event))
        QDialog::keyPressEvent(event);
}

void OvPiktoAlbumWindowController::keyReleaseEvent(QKeyEvent* event) {
    keyUp(event);
}
