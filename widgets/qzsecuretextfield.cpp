#include "qzsecuretextfield.h"

QZSecureTextField::QZSecureTextField(QWidget* parent) : QZTextField(parent) {
    setEchoMode(QLineEdit::Password);
}
