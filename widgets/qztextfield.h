#pragma once

#include <QLineEdit>

// A text field that takes the focus with one call and, when it gets the keyboard focus
// (click, tab or call), puts the caret after the last character with nothing selected
// instead of selecting the whole text.
class QZTextField : public QLineEdit {
    Q_OBJECT

public:
    explicit QZTextField(QWidget* parent = nullptr);

    using QLineEdit::setFocus;
    // Makes this field the focus widget of its window (the keyboard focus when the window
    // is active).
    void setFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
};
