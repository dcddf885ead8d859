#include "qzformatter.h"

QZFormatter::QZFormatter(QObject* parent) : QZFormatter(-1, parent) {}

QZFormatter::QZFormatter(int maxLength, QObject* parent)
    : QValidator(parent), m_maxLength(maxLength) {}

QString QZFormatter::stringForObjectValue(const QString& value) const {
    return value;
}

bool QZFormatter::getObjectValue(QString* place, const QString& string, QString*) const {
    if (!place)
        return false;
    *place = string;
    return true;
}

bool QZFormatter::isPartialStringValid(const QString& partial, QString*, QString*) const {
    return m_maxLength <= 0 || partial.size() <= m_maxLength;
}

QValidator::State QZFormatter::validate(QString& input, int&) const {
    return isPartialStringValid(input, nullptr, nullptr) ? Acceptable : Invalid;
}
