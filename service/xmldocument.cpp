#include "xmldocument.h"

std::optional<QDomDocument> XmlDocument::parse(const QString& text) {
    QDomDocument document;
    if (!document.setContent(text, false))
        return std::nullopt;
    return document;
}

std::optional<QDomDocument> XmlDocument::parse(const QByteArray& utf8) {
    return parse(QString::fromUtf8(utf8));
}
