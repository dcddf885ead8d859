#pragma once

#include "qztextfield.h"

// A masked text field (password): the characters show as bullets; focus and caret as in
// QZTextField.
class QZSecureTextField : public QZTextField {
    Q_OBJECT

public:
    explicit QZSecureTextField(QWidget* parent = nullptr);
};
