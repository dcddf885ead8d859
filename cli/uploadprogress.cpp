#include "uploadprogress.h"

#include <QtMath>

namespace {
constexpr int barWidth = 24;
}

UploadProgress::UploadProgress(int photoCount, double totalKiB, bool terminal, std::FILE* out)
    : m_photoCount(photoCount), m_totalKiB(totalKiB), m_terminal(terminal), m_out(out) {}

QString UploadProgress::formatSize(double kib) {
    if (kib / 1024 >= 1.0)
        return QString::asprintf("%.2f MiB", kib / 1024);
    return QString::asprintf("%.0f KiB", kib);
}

QString UploadProgress::line(double doneKiB) const {
    const double fraction = m_totalKiB > 0 ? qBound(0.0, doneKiB / m_totalKiB, 1.0) : 0.0;
    const int filled = qFloor(fraction * barWidth);
    return QStringLiteral("photo %1 of %2 [%3%4] %5 of %6")
        .arg(m_index + 1)
        .arg(m_photoCount)
        .arg(QString(filled, '#'), QString(barWidth - filled, '-'), formatSize(doneKiB),
             formatSize(m_totalKiB));
}

void UploadProgress::write(const QString& text) {
    std::fputs(text.toUtf8().constData(), m_out);
    std::fflush(m_out);
}

void UploadProgress::beginPhoto(int index, const QString& name, double doneKiB) {
    m_index = index;
    m_name = name;
    if (m_terminal) {
        update(doneKiB);
        return;
    }
    write(QStringLiteral("photo %1 of %2: %3\n").arg(index + 1).arg(m_photoCount).arg(name));
}

void UploadProgress::update(double doneKiB) {
    if (!m_terminal)
        return;
    const QString text = line(doneKiB);
    if (text == m_shown)
        return;
    m_shown = text;
    // Back to the line's start and clear it, so a shorter line leaves nothing behind.
    write(QStringLiteral("\r\033[K") + text);
}

void UploadProgress::endPhoto(double doneKiB) {
    if (m_terminal) {
        update(doneKiB);
        return;
    }
    write(QStringLiteral("photo %1 of %2 done: %3 of %4\n")
              .arg(m_index + 1)
              .arg(m_photoCount)
              .arg(formatSize(doneKiB), formatSize(m_totalKiB)));
}

void UploadProgress::finish() {
    if (m_terminal && !m_shown.isEmpty())
        write(QStringLiteral("\n"));
    m_shown.clear();
}
