#pragma once

#include <QDir>
#include <QImage>
#include <QWidget>

// Saves what `widget` shows as build/screenshots/NAME.png, for a person to look at.
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = QStringLiteral(OVPIKTO_SCREENSHOTS);
    return QDir().mkpath(folder) &&
           widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

inline bool saveScreenshot(const QImage& image, const QString& name) {
    const QString folder = QStringLiteral(OVPIKTO_SCREENSHOTS);
    return QDir().mkpath(folder) &&
           image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}
