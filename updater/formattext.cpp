#include "formattext.h"

QString FormatText::fill(const QString& format, const QStringList& arguments) {
    QString result;
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const QChar kind = format[i + 1];
            if (kind == '@') {
                if (next < arguments.size())
                    result += arguments[next];
                ++next;
                ++i;
                continue;
            }
            if (kind == '%') {
                result += '%';
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}
