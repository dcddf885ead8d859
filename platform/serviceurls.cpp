#include "serviceurls.h"

#include <QHostAddress>
#include <QUrl>

QString ServiceUrls::defaultOrigin() {
    return QStringLiteral("http://127.0.0.1:8480");
}

ServiceUrls ServiceUrls::fromEnvironment() {
    return ServiceUrls(qEnvironmentVariable("OVPIKTO_SERVICE_URL"));
}

ServiceUrls::ServiceUrls(const QString& origin) : m_origin(origin) {
    if (m_origin.isEmpty())
        m_origin = defaultOrigin();
    while (m_origin.endsWith('/'))
        m_origin.chop(1);
}

QString ServiceUrls::signInKey() const {
    return m_origin + QStringLiteral("/ovmrsa/key/");
}
QString ServiceUrls::signInToken() const {
    return m_origin + QStringLiteral("/ovmrsa/token/");
}
QString ServiceUrls::apiBase() const {
    return m_origin + QStringLiteral("/api/");
}
QString ServiceUrls::upload() const {
    return m_origin + QStringLiteral("/post/");
}
QString ServiceUrls::versionsFeed() const {
    return m_origin + QStringLiteral("/photo/mac/iphoto-plugin/versions.xml");
}
QString ServiceUrls::website() const {
    return m_origin + QStringLiteral("/");
}
QString ServiceUrls::passport() const {
    return m_origin + QStringLiteral("/passport/");
}

QString ServiceUrls::albumPage(const QString& login, const QString& albumId) const {
    // One multi-argument substitution: a "%" in the login or identifier is not re-read.
    return QStringLiteral("%1users/%2/album/%3/").arg(website(), login, albumId);
}

QString ServiceUrls::registerPage() const {
    return passport() + QStringLiteral("?mode=register");
}
QString ServiceUrls::rememberPage() const {
    return passport() + QStringLiteral("?mode=remember");
}

QString ServiceUrls::blogPage(const QString& login) const {
    // The blog lives on a host of its own per user: LOGIN, a dot, the blog domain. The blog
    // domain is the service's host name, on the service's scheme and port. A numeric host
    // (127.0.0.1, [::1]) cannot take a sub-domain; there the domain is "localhost", which
    // resolves every LOGIN.localhost to loopback, and the stand-in service answers
    // "/go.xml" whatever the host.
    const QUrl url(m_origin);
    QString domain = url.host();
    if (domain.isEmpty() || !QHostAddress(domain).isNull())
        domain = QStringLiteral("localhost");
    QUrl page;
    page.setScheme(url.scheme().isEmpty() ? QStringLiteral("http") : url.scheme());
    page.setHost(login + '.' + domain);
    page.setPort(url.port());
    page.setPath(QStringLiteral("/go.xml"));
    return page.toString();
}

QString ServiceUrls::authorizationRealm() const {
    const QString host = QUrl(m_origin).host();
    return host.isEmpty() ? QStringLiteral("pikto.ovrana.ru") : host;
}
