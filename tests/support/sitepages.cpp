#include "sitepages.h"

#include <QRegularExpression>

QString SitePages::unescape(QString text) {
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    text.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text;
}

QList<SitePages::Photo> SitePages::albumPhotos(const QString& html) {
    static const QRegularExpression tile(
        QStringLiteral("<li class=\"photo\" id=\"photo-(\\d+)\">(.*?)</li>"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression link(
        QStringLiteral("<a class=\"tile\" href=\"([^\"]*)\"><img src=\"([^\"]*)\""));
    static const QRegularExpression name(QStringLiteral("<span class=\"name\">([^<]*)</span>"));
    static const QRegularExpression access(QStringLiteral("data-access=\"([^\"]*)\""));
    static const QRegularExpression flag(QStringLiteral("data-flag=\"([^\"]*)\""));
    QList<Photo> photos;
    for (const QRegularExpressionMatch& match : tile.globalMatch(html)) {
        const QString body = match.captured(2);
        Photo photo;
        photo.id = match.captured(1);
        const QRegularExpressionMatch addresses = link.match(body);
        photo.page = unescape(addresses.captured(1));
        photo.thumb = unescape(addresses.captured(2));
        photo.name = unescape(name.match(body).captured(1));
        photo.access = access.match(body).captured(1);
        for (const QRegularExpressionMatch& each : flag.globalMatch(body))
            photo.flags << each.captured(1);
        photos << photo;
    }
    return photos;
}

QString SitePages::originalAddress(const QString& html) {
    static const QRegularExpression original(
        QStringLiteral("<a class=\"original\" href=\"([^\"]*)\""));
    return unescape(original.match(html).captured(1));
}
