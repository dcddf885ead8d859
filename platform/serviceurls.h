#pragma once

#include <QString>

// Every address of the photo service, derived from one origin (scheme, host and port).
// A value: the service client, the uploader and the pages are given one when they are
// made. A program makes its one with fromEnvironment() in its main. No result ends in a
// doubled slash except where a caller's own template adds one.
class ServiceUrls {
public:
    // The bundled stand-in service: "http://127.0.0.1:8480".
    static QString defaultOrigin();
    // OVPIKTO_SERVICE_URL, or the default origin when it is unset or empty. Reads the
    // environment; call it once, in main.
    static ServiceUrls fromEnvironment();

    // `origin` without its trailing slashes; an empty one stands for defaultOrigin().
    // Refuses nothing: an origin that is not a URL gives addresses a request refuses.
    explicit ServiceUrls(const QString& origin = {});

    // The origin without a trailing slash, e.g. "http://127.0.0.1:8480".
    const QString& origin() const { return m_origin; }
    QString signInKey() const;    // origin + "/ovmrsa/key/"
    QString signInToken() const;  // origin + "/ovmrsa/token/"
    QString apiBase() const;      // origin + "/api/"
    QString upload() const;       // origin + "/post/"
    QString versionsFeed() const; // origin + "/photo/mac/iphoto-plugin/versions.xml"
    QString website() const;      // origin + "/"
    QString passport() const;     // origin + "/passport/"
    // The album's web page: website + "users/LOGIN/album/ID/", both inserted as they are.
    QString albumPage(const QString& login, const QString& albumId) const;
    QString registerPage() const; // passport + "?mode=register"
    QString rememberPage() const; // passport + "?mode=remember"
    // The user's blog page: "/go.xml" on the host LOGIN.<blog domain>, see the .cpp.
    QString blogPage(const QString& login) const;
    // The realm of the album requests' Authorization header: the website's host name.
    QString authorizationRealm() const;

    bool operator==(const ServiceUrls&) const = default;

private:
    QString m_origin;
};
