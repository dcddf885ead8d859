#include "releasefeed.h"

#include "releasesignature.h"

#include <QCryptographicHash>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString ReleaseFeed::publish(const QString& feedPath, const Release& release,
                             const QByteArray& secretKey) {
    QFile archive(release.archivePath);
    if (!archive.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1").arg(release.archivePath);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&archive))
        return QStringLiteral("cannot read %1").arg(release.archivePath);
    const qint64 length = archive.size();
    archive.close();
    const QByteArray signature = ReleaseSignature::signFile(secretKey, release.archivePath);
    if (signature.isEmpty())
        return QStringLiteral("cannot sign %1 (is the secret key valid?)").arg(release.archivePath);

    QDomDocument document;
    QFile existing(feedPath);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly) || !document.setContent(&existing, false))
            return QStringLiteral("%1 is not a feed that can be extended").arg(feedPath);
    } else {
        QDomElement rss = document.createElement(QStringLiteral("rss"));
        rss.setAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
        document.appendChild(rss);
        rss.appendChild(document.createElement(QStringLiteral("channel")));
    }
    QDomElement channel = document.documentElement().firstChildElement(QStringLiteral("channel"));
    if (channel.isNull())
        return QStringLiteral("%1 has no channel").arg(feedPath);
    for (QDomElement item = channel.firstChildElement(QStringLiteral("item")); !item.isNull();) {
        const QDomElement next = item.nextSiblingElement(QStringLiteral("item"));
        if (item.firstChildElement(QStringLiteral("enclosure")).attribute(QStringLiteral("url")) ==
            release.url)
            channel.removeChild(item);
        item = next;
    }

    QDomElement item = document.createElement(QStringLiteral("item"));
    const auto addText = [&](const QString& name, const QString& text) {
        QDomElement element = document.createElement(name);
        element.appendChild(document.createTextNode(text));
        item.appendChild(element);
    };
    addText(QStringLiteral("title"), release.title.isEmpty()
                                         ? QStringLiteral("Оврана.Пикто %1").arg(release.version)
                                         : release.title);
    addText(QStringLiteral("description"), release.description);
    QDomElement enclosure = document.createElement(QStringLiteral("enclosure"));
    enclosure.setAttribute(QStringLiteral("url"), release.url);
    enclosure.setAttribute(QStringLiteral("type"), QStringLiteral("application/zip"));
    enclosure.setAttribute(QStringLiteral("length"), QString::number(length));
    enclosure.setAttribute(QStringLiteral("sha256"), QString::fromLatin1(hash.result().toHex()));
    enclosure.setAttribute(QStringLiteral("signature"), QString::fromLatin1(signature.toBase64()));
    item.appendChild(enclosure);
    channel.appendChild(item);

    QSaveFile out(feedPath);
    QByteArray bytes = document.toByteArray(2);
    if (!bytes.startsWith("<?xml"))
        bytes.prepend("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return QStringLiteral("cannot write %1").arg(feedPath);
    return {};
}
