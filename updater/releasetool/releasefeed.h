#pragma once

#include <QByteArray>
#include <QString>

// Writes release entries into a versions feed (rss/channel/item), with the archive's
// length, SHA-256 and Ed25519 signature on the item's enclosure.
class ReleaseFeed {
public:
    struct Release {
        QString version;
        QString url;         // where the archive is served
        QString archivePath; // the archive on disk
        QString title;
        QString description;
    };

    // Adds `release` to the feed file at `feedPath` (created when missing), replacing
    // items with the same enclosure URL; signs the archive with `secretKey` (64 bytes).
    // Returns an empty string on success, else the reason; the feed file is then left
    // as it was.
    static QString publish(const QString& feedPath, const Release& release,
                           const QByteArray& secretKey);
};
