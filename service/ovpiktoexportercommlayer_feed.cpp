// The versions feed: which published build of the plug-in is newer than the installed one.
#include "ovpiktoexportercommlayer.h"

#include "leadinginteger.h"
#include "log.h"
#include "qztext.h"
#include "serviceurls.h"
#include "synchttp.h"
#include "xmldocument.h"

#include <QDomElement>

std::optional<QByteArray> OvPiktoExporterCommLayer::requestFeed() {
    HttpRequest request;
    request.url = m_urls.versionsFeed();
    request.setHeader("Content-Type", "application/xml; type=entry");
    const HttpResponse response = send(request, m_limits.feedBytes, QStringLiteral("the feed"));
    // An error page is not the feed: the caller learns the server has none for it.
    if (!response.received || response.status != 200)
        return std::nullopt;
    if (response.data.isEmpty()) {
        markLastAnswer(RequestOutcome::Kind::Unreadable);
        return std::nullopt;
    }
    return response.data;
}

std::optional<OvPiktoUpdateVersionInfo>
OvPiktoExporterCommLayer::fetchUpdatedVersionInfo(const QString& currentVersion) {
    const auto data = requestFeed();
    if (!data)
        return std::nullopt;
    return fetchUpdatedVersionInfo(currentVersion, *data);
}

std::optional<QByteArray> OvPiktoExporterCommLayer::fetchVersionsData() {
    Log::write(m_urls.versionsFeed());
    return requestFeed();
}

std::optional<OvPiktoUpdateVersionInfo>
OvPiktoExporterCommLayer::fetchUpdatedVersionInfo(const QString& currentVersion,
                                                  const QByteArray& versionsData) {
    // Without knowing what is installed nothing can be called newer.
    if (currentVersion.isEmpty())
        return std::nullopt;

    const auto document = XmlDocument::parse(versionsData);
    if (!document)
        return std::nullopt;
    const QDomNodeList rootChildren = document->documentElement().childNodes();
    if (rootChildren.size() != 1 || rootChildren.at(0).nodeName() != QLatin1String("channel"))
        return std::nullopt;

    QString bestVersion = currentVersion;
    QDomElement bestItem;
    QString bestUrl;
    const QDomNodeList items = rootChildren.at(0).childNodes();
    for (int i = 0; i < items.size(); ++i) {
        const QDomNode item = items.at(i);
        if (item.nodeName() != QLatin1String("item"))
            continue;
        const QDomElement enclosure =
            QZText::findXMLElementInArray(item.childNodes(), QStringLiteral("enclosure"))
                .toElement();
        // A release that cannot be downloaded spoils the whole feed.
        if (enclosure.isNull())
            return std::nullopt;
        const QString url = enclosure.attribute(QStringLiteral("url"));
        const QString version = getVersionFromBuildUrl(url);
        if (version.isNull())
            continue; // no build version: never newer
        if (compareBuildVersionA(bestVersion, version) == -1) {
            bestVersion = version;
            bestItem = item.toElement();
            bestUrl = url;
        }
    }
    if (bestVersion == currentVersion || bestItem.isNull())
        return std::nullopt;

    OvPiktoUpdateVersionInfo info;
    const QDomNodeList fields = bestItem.childNodes();
    for (int i = 0; i < fields.size(); ++i) {
        const QDomElement field = fields.at(i).toElement();
        if (field.tagName() == QLatin1String("title"))
            info.setTitle(field.text());
        else if (field.tagName() == QLatin1String("description"))
            info.setDescription(field.text());
    }
    info.setVersion(bestVersion);
    info.setUrl(bestUrl);
    return info;
}

QString OvPiktoExporterCommLayer::getVersionFromBuildUrl(const QString& url) {
    const qsizetype underscore = url.lastIndexOf('_');
    if (underscore < 0)
        return {};
    const qsizetype dot = url.lastIndexOf('.');
    if (dot < underscore)
        return {};
    return url.mid(underscore + 1, dot - underscore - 1);
}

int OvPiktoExporterCommLayer::compareBuildVersionA(const QString& a, const QString& b) {
    const QStringList partsA = a.split('.');
    const QStringList partsB = b.split('.');
    const qsizetype shared = qMin(partsA.size(), partsB.size());
    for (qsizetype i = 0; i < shared; ++i) {
        const int valueA = leadingInteger(partsA[i]);
        const int valueB = leadingInteger(partsB[i]);
        if (valueA < valueB)
            return -1;
        if (valueA > valueB)
            return 1;
    }
    if (partsA.size() == partsB.size())
        return 0;
    return partsA.size() > partsB.size() ? 1 : -1;
}
