#include "albumfeed.h"

#include "leadinginteger.h"
#include "qztext.h"

std::optional<QList<OvPiktoAlbum>> AlbumFeed::albumsFromFeed(const QByteArray& data,
                                                             XmlDocument::Problem* problem) {
    const auto document = XmlDocument::parse(data, problem);
    if (!document)
        return std::nullopt;
    QList<OvPiktoAlbum> albums;
    const QDomNodeList children = document->documentElement().childNodes();
    for (int i = 0; i < children.size(); ++i) {
        if (children.at(i).nodeName() == QLatin1String("entry"))
            albums.append(albumFromEntry(children.at(i).toElement()));
    }
    return albums;
}

OvPiktoAlbum AlbumFeed::albumFromEntry(const QDomElement& entry) {
    OvPiktoAlbum album;
    if (const QDomElement id = childNamed(entry, "id"); !id.isNull()) {
        // An id that names no album keeps the placeholder identifier.
        if (const QString albumId = albumIdFromAtomId(id.text()); !albumId.isNull())
            album.setAlbumId(albumId);
    }
    if (const QDomElement title = childNamed(entry, "title"); !title.isNull())
        album.setName(title.text());
    if (const QDomElement count = childNamed(entry, "f:image-count"); !count.isNull())
        album.setImagesCount(leadingInteger(count.attribute("value")));
    if (const QDomElement locked = childNamed(entry, "f:protected"); !locked.isNull())
        album.setIsLocked(locked.attribute("value") == QLatin1String("true"));
    if (const QDomElement summary = childNamed(entry, "summary"); !summary.isNull())
        album.setDescription(summary.text());
    return album;
}

std::optional<QDomDocument> AlbumFeed::entryDocument(const QByteArray& data,
                                                     XmlDocument::Problem* problem) {
    auto document = XmlDocument::parse(data, problem);
    if (!document || childNamed(document->documentElement(), "id").isNull())
        return std::nullopt;
    return document;
}

QString AlbumFeed::albumIdOfEntry(const QByteArray& data) {
    const auto document = entryDocument(data);
    if (!document)
        return {};
    return albumIdFromAtomId(childNamed(document->documentElement(), "id").text());
}

QString AlbumFeed::albumIdFromAtomId(const QString& atomId) {
    const qsizetype at = atomId.indexOf(QLatin1String("album:"));
    if (at < 0)
        return {};
    return atomId.mid(at + 6);
}

QDomElement AlbumFeed::childNamed(const QDomNode& parent, const QString& name) {
    return QZText::findXMLElementInArray(parent.childNodes(), name).toElement();
}
