#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the versions feed says about one release archive beyond its address: the
// optional "length", "sha256" and "signature" attributes of the item's "enclosure".
class FeedEnclosure {
public:
    // The attributes of the first enclosure in `feed` (channel/item/enclosure) whose
    // "url" is `url`. Nothing when the feed does not parse or has no such enclosure.
    static std::optional<FeedEnclosure> find(const QByteArray& feed, const QString& url);

    // The attribute texts as written; null strings for attributes that are absent.
    QString length;
    QString sha256;
    QString signature;
};
