#pragma once

#include <QString>

// Every address of the photo service, derived from one origin: OVPIKTO_SERVICE_URL,
// default http://127.0.0.1:8480 (the bundled stand-in service). No result ends in a
// doubled slash except where a caller's own template adds one.
class ServiceUrls {
public:
    // The origin without a trailing slash, e.g. "http://127.0.0.1:8480".
    static QString origin();
    static QString signInKey();    // origin + "/ovmrsa/key/"
    static QString signInToken();  // origin + "/ovmrsa/token/"
    static QString apiBase();      // origin + "/api/"
    static QString upload();       // origin + "/post/"
    static QString versionsFeed(); // origin + "/photo/mac/iphoto-plugin/versions.xml"
    static QString website();      // origin + "/"
    static QString passport();     // origin + "/passport/"
    // The realm of the album requests' Authorization header: the website's host name.
    static QString authorizationRealm();
};
