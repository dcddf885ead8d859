#include "feedenclosure.h"

#include <QDomDocument>
#include <QDomElement>

std::optional<FeedEnclosure> FeedEnclosure::find(const QByteArray& feed, const QString& url) {
    QDomDocument document;
    if (!document.setContent(QString::fromUtf8(feed), false))
        return std::nullopt;
    const QDomElement channel =
        document.documentElement().firstChildElement(QStringLiteral("channel"));
    for (QDomElement item = channel.firstChildElement(QStringLiteral("item")); !item.isNull();
         item = item.nextSiblingElement(QStringLiteral("item"))) {
        const QDomElement enclosure = item.firstChildElement(QStringLiteral("enclosure"));
        if (enclosure.isNull() || enclosure.attribute(QStringLiteral("url")) != url)
            continue;
        FeedEnclosure found;
        const auto attribute = [&](const char* name) {
            const QString key = QString::fromLatin1(name);
            return enclosure.hasAttribute(key) ? enclosure.attribute(key) : QString();
        };
        found.length = attribute("length");
        found.sha256 = attribute("sha256");
        found.signature = attribute("signature");
        return found;
    }
    return std::nullopt;
}
