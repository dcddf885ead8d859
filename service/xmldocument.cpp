#include "xmldocument.h"

#include <QXmlStreamReader>

namespace {

XmlDocument::Problem check(const QString& text) {
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > XmlDocument::maxDepth)
                return XmlDocument::Problem::TooDeep;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return reader.hasError() ? XmlDocument::Problem::NotWellFormed : XmlDocument::Problem::None;
}

} // namespace

std::optional<QDomDocument> XmlDocument::parse(const QString& text, Problem* problem) {
    Problem found = check(text);
    std::optional<QDomDocument> document;
    if (found == Problem::None) {
        document.emplace();
        if (!document->setContent(text, false)) {
            document.reset();
            found = Problem::NotWellFormed;
        }
    }
    if (problem)
        *problem = found;
    return document;
}

std::optional<QDomDocument> XmlDocument::parse(const QByteArray& utf8, Problem* problem) {
    return parse(QString::fromUtf8(utf8), problem);
}
