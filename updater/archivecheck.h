#pragma once

#include "feedenclosure.h"

#include <QString>

// Decides whether a downloaded release archive may be unpacked.
class ArchiveCheck {
public:
    // Checks the file at `path` against the feed's length and SHA-256 when they are
    // given, and, when `publicKey` (Base64, Ed25519) is not empty, against the feed's
    // signature, which is then required. Returns an empty string when the archive
    // passes, else the reason it is refused. A public key or an attribute that does
    // not decode refuses the archive too.
    static QString verify(const QString& path, const FeedEnclosure& enclosure,
                          const QString& publicKey);

    // Refuses archives whose entries could land outside the folder they are unpacked
    // in: absolute names, ".." components, backslashes, symbolic links, or a listing
    // that cannot be read (not a zip archive, or one this check does not understand).
    // Returns an empty string when every entry stays inside, else the reason.
    static QString checkEntries(const QString& path);
};
