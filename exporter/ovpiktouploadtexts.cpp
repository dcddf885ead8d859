#include "ovpiktouploadtexts.h"

double OvPiktoUploadTexts::kibFromBytes(qint64 bytes) {
    return double(float(bytes) * (1.0f / 1024.0f));
}

QString OvPiktoUploadTexts::formatDataSize(double kib) {
    const double mib = kib / 1024.0;
    if (mib >= 1.0)
        return QString::asprintf("%.2f M", mib) + QStringLiteral("Б");
    return QString::asprintf("%.0f ", kib) + QStringLiteral("КБ");
}

QString OvPiktoUploadTexts::buildUploadedDataSizeMessage(double doneKib, double totalKib) {
    return QStringLiteral("Загружено %1 из %2")
        .arg(formatDataSize(doneKib), formatDataSize(totalKib));
}

QString OvPiktoUploadTexts::firstPhotoProgress(int photoCount) {
    if (photoCount > 1)
        return QStringLiteral("Загружается 1 из %1 фото...").arg(photoCount);
    return QStringLiteral("Загрузка фото...");
}

QString OvPiktoUploadTexts::photoProgress(int photoNumber, int photoCount) {
    return QStringLiteral("Загружается %1 из %2 фото...").arg(photoNumber).arg(photoCount);
}

QString OvPiktoUploadTexts::startingText() {
    return QStringLiteral("Начинаю...");
}

QString OvPiktoUploadTexts::cancelResult(const QString& lead, int uploadedCount) {
    return QStringLiteral("%1 %2 %3 %4")
        .arg(lead, QStringLiteral("Загружено"), QString::number(uploadedCount),
             QStringLiteral("фото."));
}

QString OvPiktoUploadTexts::cancelledByUserLead() {
    return QStringLiteral("Загрузка отменена.");
}

QString OvPiktoUploadTexts::albumLinkText() {
    return QStringLiteral("Посмотреть альбом на Оврана.Пикто.");
}

QString OvPiktoUploadTexts::skippedListLine(const QString& text, bool withLinebreak) {
    if (!withLinebreak)
        return text;
    return QStringLiteral("\u25B6 %1\n").arg(text);
}
