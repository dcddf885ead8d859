#include "xmldepth.h"

#include <QXmlStreamReader>

bool XmlDepth::within(const std::string& text, int limit) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())));
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > limit)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return true;
}
