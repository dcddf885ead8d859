#pragma once

#include <QString>

// The texts of the upload sheet that are not looked up by key: which photo of how many is
// being sent, how much data has gone, the cancel summary, the album link. Sizes are KiB
// held as double, as the progress computes them.
class OvPiktoUploadTexts {
public:
    OvPiktoUploadTexts() = delete;

    // A request size in bytes as KiB: the bytes as a float, times 1/1024 in float, widened
    // to double, so that sums match the sizes shown while a photo is sent.
    static double kibFromBytes(qint64 bytes);

    // One amount: "%.2f MБ" of value / 1024 when that is at least 1.0 (Latin M, Cyrillic Б),
    // else "%.0f КБ" of the value.
    static QString formatDataSize(double kib);
    // "Загружено <done> из <total>", each amount formatted by itself.
    static QString buildUploadedDataSizeMessage(double doneKib, double totalKib);

    // The line shown when the sheet opens: "Загружается 1 из N фото..." for more than one
    // photo, "Загрузка фото..." otherwise.
    static QString firstPhotoProgress(int photoCount);
    // "Загружается N из M фото..." with the 1-based number of the photo being sent.
    static QString photoProgress(int photoNumber, int photoCount);
    // "Начинаю...": the data line before the first byte has gone.
    static QString startingText();

    // The result of a cancel: "<lead> Загружено <count> фото." where lead is
    // "Загрузка отменена." or the connection error text.
    static QString cancelResult(const QString& lead, int uploadedCount);
    static QString cancelledByUserLead();

    // The text of the album link under the results.
    static QString albumLinkText();

    // One line of the skipped-files list: "▶ " and the path, then a line feed; without
    // a line break the text unchanged.
    static QString skippedListLine(const QString& text, bool withLinebreak);
};
