#include "qztextfield.h"

#include <QFocusEvent>

QZTextField::QZTextField(QWidget* parent) : QLineEdit(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void QZTextField::setFocus() {
    QLineEdit::setFocus(Qt::OtherFocusReason);
}

void QZTextField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // A window coming back to the front keeps the field's caret and selection as they were.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    deselect();
    setCursorPosition(int(text().size()));
}
