#pragma once

#include "ovpiktoalbum.h"
#include "xmldocument.h"

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>

#include <optional>

// Reads the album answers of the service (Atom with the "f" prefix) from their bytes.
// Pure functions: no request, no log.
class AlbumFeed {
public:
    AlbumFeed() = delete;

    // The albums of a list answer, one per "entry" child of the root, in answer order;
    // an empty list when there is none. Nothing when the bytes are not readable XML,
    // with the reason in `problem` (may be null).
    static std::optional<QList<OvPiktoAlbum>>
    albumsFromFeed(const QByteArray& data, XmlDocument::Problem* problem = nullptr);
    // One album from an "entry" element: identifier from "id" (after "album:"), name
    // from "title", count from the leading integer of "f:image-count"'s value, locked
    // when "f:protected"'s value is exactly "true", description from "summary". A field
    // that is missing keeps the album's default.
    static OvPiktoAlbum albumFromEntry(const QDomElement& entry);
    // An album's entry document; nothing when the bytes are not readable XML (the reason
    // in `problem`, may be null) or the root has no "id" child.
    static std::optional<QDomDocument> entryDocument(const QByteArray& data,
                                                     XmlDocument::Problem* problem = nullptr);
    // The identifier the entry in `data` names (see albumIdFromAtomId); a null string
    // when the bytes are not readable XML, the root has no "id" or the id names none.
    static QString albumIdOfEntry(const QByteArray& data);
    // The identifier an Atom "id" text names: the text after its first "album:", or a
    // null string when it has none.
    static QString albumIdFromAtomId(const QString& atomId);
    // The first child element of `parent` named exactly `name`; a null element if none.
    static QDomElement childNamed(const QDomNode& parent, const QString& name);
};
