#include "atomformat.h"

#include "xmldepth.h"

#include <QDateTime>
#include <QDomDocument>
#include <QXmlStreamWriter>

namespace {

const QString kAtomNamespace = QStringLiteral("http://www.w3.org/2005/Atom");
const QString kPiktoNamespace = QStringLiteral("ovrana:pikto");
const QString kTagPrefix = QStringLiteral("tag:pikto.ovrana.ru,2026:");

QString qs(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString timestamp(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(Qt::ISODate);
}

void writeNamespaces(QXmlStreamWriter& xml) {
    xml.writeDefaultNamespace(kAtomNamespace);
    xml.writeNamespace(kPiktoNamespace, QStringLiteral("f"));
}

void writeEntryBody(QXmlStreamWriter& xml, const AlbumRecord& album) {
    xml.writeTextElement(QStringLiteral("id"),
                         kTagPrefix + QStringLiteral("album:%1").arg(album.id));
    xml.writeTextElement(QStringLiteral("title"), qs(album.title));
    xml.writeTextElement(QStringLiteral("summary"), qs(album.summary));
    xml.writeTextElement(QStringLiteral("updated"), timestamp(album.updated));
    xml.writeEmptyElement(kPiktoNamespace, QStringLiteral("image-count"));
    xml.writeAttribute(QStringLiteral("value"), QString::number(album.imageCount));
    xml.writeEmptyElement(kPiktoNamespace, QStringLiteral("protected"));
    xml.writeAttribute(QStringLiteral("value"),
                       album.password.empty() ? QStringLiteral("false") : QStringLiteral("true"));
}

// True when `name` is `local` itself or `local` behind some prefix ("f:password").
bool nameIs(const QString& name, const QString& prefixed, const QString& local) {
    return name == prefixed || name == local || name.endsWith(QLatin1Char(':') + local);
}

} // namespace

std::string AtomFormat::feed(const std::string& login, const std::vector<AlbumRecord>& albums) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("feed"));
    writeNamespaces(xml);
    xml.writeTextElement(QStringLiteral("id"), kTagPrefix + QStringLiteral("feed:") + qs(login));
    xml.writeTextElement(QStringLiteral("title"), qs(login));
    // An empty feed was last changed now.
    std::int64_t updated = albums.empty() ? QDateTime::currentSecsSinceEpoch() : 0;
    for (const AlbumRecord& album : albums)
        updated = std::max(updated, album.updated);
    xml.writeTextElement(QStringLiteral("updated"), timestamp(updated));
    for (const AlbumRecord& album : albums) {
        xml.writeStartElement(QStringLiteral("entry"));
        writeEntryBody(xml, album);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out.toStdString();
}

std::string AtomFormat::entry(const AlbumRecord& album) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("entry"));
    writeNamespaces(xml);
    writeEntryBody(xml, album);
    xml.writeEndElement();
    xml.writeEndDocument();
    return out.toStdString();
}

std::optional<AtomFormat::EntryFields> AtomFormat::parseEntry(const std::string& body) {
    QDomDocument doc;
    if (!XmlDepth::within(body) ||
        !doc.setContent(QByteArray(body.data(), static_cast<qsizetype>(body.size())), false))
        return std::nullopt;
    const QDomElement root = doc.documentElement();
    if (root.isNull() || !nameIs(root.tagName(), QStringLiteral("entry"), QStringLiteral("entry")))
        return std::nullopt;
    EntryFields fields;
    for (QDomElement child = root.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString name = child.tagName();
        const std::string text = child.text().toStdString();
        if (name == QStringLiteral("title"))
            fields.title = text;
        else if (name == QStringLiteral("summary"))
            fields.summary = text;
        else if (nameIs(name, QStringLiteral("f:password"), QStringLiteral("password")))
            fields.password = text;
    }
    return fields;
}
