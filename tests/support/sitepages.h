#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reading the service's website pages in tests: the photos an album page shows and the
// links of a photo page, found by the page's own markup.
class SitePages {
public:
    struct Photo {
        QString id;
        QString page;  // the photo page's path
        QString thumb; // the thumbnail's address
        QString name;  // the file name, unescaped
        QString access;
        QStringList flags;
    };

    // The photos of an album page in the order shown (newest first).
    static QList<Photo> albumPhotos(const QString& html);
    // The address of the original of a photo page; empty when the page gives none.
    static QString originalAddress(const QString& html);
    // Text of a page with its character references (&amp; &lt; &gt; &quot; &#39;) read.
    static QString unescape(QString text);
};
