#include "ovpiktouploadwindowcontroller.h"

#include <QKeyEvent>

OvPiktoUploadWindowController::OvPiktoUploadWindowController(QWidget* parent) : QDialog(parent) {}

bool OvPiktoUploadWindowController::performKeyEquivalent(QKeyEvent* event) {
    (void)event;
    return false;
}

void OvPiktoUploadWindowController::keyDown(QKeyEvent* event) {
    QDialog::keyPressEvent(event);
}

void OvPiktoUploadWindowController::keyUp(QKeyEvent* event) {
    QDialog::keyReleaseEvent(event);
}

void OvPiktoUploadWindowController::keyPressEvent(QKeyEvent* event) {
    if (!performKeyEquivalent(event))
        keyDown(event);
}

void OvPiktoUploadWindowController::keyReleaseEvent(QKeyEvent* event) {
    keyUp(event);
}
