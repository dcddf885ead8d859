#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QString>

#include <optional>

// The one way the client turns an answer into a DOM: namespace processing off, so
// element names compare as written ("f:image-count").
class XmlDocument {
public:
    XmlDocument() = delete;

    // The document in `text`; nothing when it is not well-formed XML.
    static std::optional<QDomDocument> parse(const QString& text);
    // The same for UTF-8 bytes.
    static std::optional<QDomDocument> parse(const QByteArray& utf8);
};
