#include "ovpiktouploadwindowcontroller.h"

#include <QKeyEvent>

namespace {

// The Enter key: character 3, the keypad's Enter here.
bool isEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Enter ||
           (!event->text().isEmpty() && event->text().at(0) == QChar(3));
}

bool isEscape(const QKeyEvent* event) {
    return event->key() == Qt::Key_Escape;
}

} // namespace

OvPiktoUploadWindowController::OvPiktoUploadWindowController(QWidget* parent) : QDialog(parent) {}

bool OvPiktoUploadWindowController::performKeyEquivalent(QKeyEvent* event) {
    if (isEnter(event)) {
        event->accept(); // answered NO and passed on to nobody
        return false;
    }
    keyDown(event);
    return event->isAccepted();
}

void OvPiktoUploadWindowController::keyDown(QKeyEvent* event) {
    if (isEscape(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void OvPiktoUploadWindowController::keyUp(QKeyEvent* event) {
    if (isEscape(event)) {
        event->accept();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void OvPiktoUploadWindowController::reject() {
    // Only the sheet's own buttons end it (through done): not Escape, not the window's
    // close button.
}

void OvPiktoUploadWindowController::keyPressEvent(QKeyEvent* event) {
    performKeyEquivalent(event);
}

void OvPiktoUploadWindowController::keyReleaseEvent(QKeyEvent* event) {
    keyUp(event);
}
