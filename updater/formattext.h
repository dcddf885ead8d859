#pragma once

#include <QString>
#include <QStringList>

// Fills the bundles' texts, which are written with the original platform's "%@"
// placeholders: each "%@" takes the next argument in order, "%%" is a percent sign.
class FormatText {
public:
    // `format` with its placeholders replaced; a placeholder without an argument
    // becomes empty text, and an argument is never read as a format itself.
    static QString fill(const QString& format, const QStringList& arguments);
};
