#include "serviceurls.h"

#include <QUrl>

QString ServiceUrls::origin() {
    QString value = qEnvironmentVariable("OVPIKTO_SERVICE_URL");
    if (value.isEmpty())
        value = QStringLiteral("http://127.0.0.1:8480");
    while (value.endsWith('/'))
        value.chop(1);
    return value;
}

QString ServiceUrls::signInKey() {
    return origin() + QStringLiteral("/ovmrsa/key/");
}
QString ServiceUrls::signInToken() {
    return origin() + QStringLiteral("/ovmrsa/token/");
}
QString ServiceUrls::apiBase() {
    return origin() + QStringLiteral("/api/");
}
QString ServiceUrls::upload() {
    return origin() + QStringLiteral("/post/");
}
QString ServiceUrls::versionsFeed() {
    return origin() + QStringLiteral("/photo/mac/iphoto-plugin/versions.xml");
}
QString ServiceUrls::website() {
    return origin() + QStringLiteral("/");
}
QString ServiceUrls::passport() {
    return origin() + QStringLiteral("/passport/");
}
QString ServiceUrls::authorizationRealm() {
    const QString host = QUrl(origin()).host();
    return host.isEmpty() ? QStringLiteral("pikto.ovrana.ru") : host;
}
