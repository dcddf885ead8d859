#include "ovpiktoalbum.h"

#include <QList>

namespace {
int sign(qint64 value) {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}
} // namespace

int OvPiktoAlbum::compareNames(const QString& a, const QString& b) {
    // Code points, not UTF-16 units, so characters beyond the BMP order by value;
    // decomposed forms so that canonically equivalent texts compare equal.
    const QList<uint> x = a.normalized(QString::NormalizationForm_D).toUcs4();
    const QList<uint> y = b.normalized(QString::NormalizationForm_D).toUcs4();
    const qsizetype n = qMin(x.size(), y.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    }
    return sign(qint64(x.size()) - qint64(y.size()));
}

int OvPiktoAlbum::nameComparisonAsc(const OvPiktoAlbum& other) const {
    return -compareNames(m_name, other.m_name);
}

int OvPiktoAlbum::nameComparisonDesc(const OvPiktoAlbum& other) const {
    return compareNames(m_name, other.m_name);
}

int OvPiktoAlbum::imagesCountComparisonAsc(const OvPiktoAlbum& other) const {
    return sign(qint64(other.m_imagesCount) - m_imagesCount);
}

int OvPiktoAlbum::imagesCountComparisonDesc(const OvPiktoAlbum& other) const {
    return sign(qint64(m_imagesCount) - other.m_imagesCount);
}

int OvPiktoAlbum::isLockedComparisonAsc(const OvPiktoAlbum& other) const {
    return int(m_isLocked) - int(other.m_isLocked);
}

int OvPiktoAlbum::isLockedComparisonDesc(const OvPiktoAlbum& other) const {
    return int(other.m_isLocked) - int(m_isLocked);
}
