#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QString>

#include <optional>

// The one way the client turns an answer into a DOM: namespace processing off, so
// element names compare as written ("f:image-count"). A streaming pass checks the text
// first, so a document nested deeper than maxDepth, or one that is not well-formed
// (entity expansion past the reader's limit included), never becomes a DOM.
class XmlDocument {
public:
    XmlDocument() = delete;

    static constexpr int maxDepth = 64;

    enum class Problem {
        None,
        NotWellFormed,
        TooDeep, // elements nested deeper than maxDepth
    };

    // The document in `text`; nothing when it is not well-formed XML or nests deeper
    // than maxDepth, with the reason in `problem` (may be null).
    static std::optional<QDomDocument> parse(const QString& text, Problem* problem = nullptr);
    // The same for UTF-8 bytes.
    static std::optional<QDomDocument> parse(const QByteArray& utf8, Problem* problem = nullptr);
};
