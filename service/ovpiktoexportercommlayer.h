#pragma once

#include "ovpiktoalbum.h"
#include "ovpiktocredentials.h"
#include "ovpiktoupdateversioninfo.h"
#include "requestoutcome.h"
#include "serviceurls.h"
#include "synchttp.h"

#include <QByteArray>
#include <QDomDocument>
#include <QList>
#include <QString>

#include <optional>

// The client of the photo service. Every request is synchronous: it blocks the calling
// thread (without running its event loop) until the answer arrives or the 3 s time-out
// passes, and reports failures as result codes (see serviceresult.h) through `error`,
// which may be null. Every address comes from the ServiceUrls it is made with; what
// happened to the last request is kept for messages (lastRequest()).
class OvPiktoExporterCommLayer {
public:
    // How much of an answer the client waits for and reads. An answer over its cap or
    // past the deadline counts as no answer (code 2).
    struct Limits {
        qint64 answerBytes = 8 * 1024 * 1024; // sign-in and album answers
        qint64 feedBytes = 1024 * 1024;       // the versions feed
        double silenceSeconds = 3;            // without any progress
        double deadlineSeconds = 30;          // from the request's start, however it moves
    };

    explicit OvPiktoExporterCommLayer(ServiceUrls urls) : m_urls(std::move(urls)) {}
    // With other limits: the seam through which tests shorten the deadline.
    OvPiktoExporterCommLayer(ServiceUrls urls, Limits limits)
        : m_urls(std::move(urls)), m_limits(limits) {}

    // The addresses this client talks to.
    const ServiceUrls& serviceUrls() const { return m_urls; }
    const Limits& limits() const { return m_limits; }
    // What happened to the last request sent (for sign-in and create, the last of their
    // requests); kind None before the first.
    const RequestOutcome& lastRequest() const { return m_last; }

    // --- Sign-in ---

    // Turns the credentials' login and password into a token through the key and token
    // endpoints. Clears the token first, so every failure leaves it empty. Returns 0 with
    // the token stored; 3 for a wrong login or password (or an empty token); 2 when an
    // endpoint does not answer, the key answer names no key or request id, the key is
    // refused, the cipher text does not fit, or the token answer is anything else.
    int signIntoOvranaPiktoWithCredentials(OVPiktoCredentials& credentials);

    // The plain text that is encrypted for the token endpoint: login and password as
    // XML attribute values, escaped, so any character survives the trip.
    static QByteArray credentialsSnippet(const QString& login, const QString& password);

    // --- Version feed ---

    // Fetches the versions feed and returns the newest release newer than `currentVersion`;
    // nothing when the feed cannot be fetched or offers nothing newer.
    std::optional<OvPiktoUpdateVersionInfo> fetchUpdatedVersionInfo(const QString& currentVersion);
    // The feed's bytes (after logging its URL); nothing without a 200 answer with data.
    std::optional<QByteArray> fetchVersionsData();
    // The newest release in `versionsData` newer than `currentVersion`. Nothing when the
    // current version is empty, the feed is not one root with exactly one "channel", any
    // item lacks an "enclosure", or no release is newer. Reads bytes only: no request.
    static std::optional<OvPiktoUpdateVersionInfo>
    fetchUpdatedVersionInfo(const QString& currentVersion, const QByteArray& versionsData);
    // The build version in a download URL: the text after its last "_" up to the last "."
    // after it ("…_1.2.345.zip" gives "1.2.345"); a null string when the URL has none.
    static QString getVersionFromBuildUrl(const QString& url);
    // Compares dotted versions by the leading integer of each component: −1 when `a` is
    // older than `b`, 1 when newer, 0 when equal. With equal shared components the one
    // with more components is newer.
    static int compareBuildVersionA(const QString& a, const QString& b);

    // --- Albums ---

    // The user's albums in service order; an account without albums (or a 200 answer
    // that does not parse) gives the one placeholder album "-1". Nothing on failure.
    std::optional<QList<OvPiktoAlbum>>
    getUserAlbumsWithCredentials(const OVPiktoCredentials& credentials, int* error);
    // The album's Atom entry. Nothing on failure, and nothing with code 0 when the
    // answer's root has no "id".
    std::optional<QDomDocument>
    fetchAlbumDataWithID(const QString& albumId, const OVPiktoCredentials& credentials, int* error);
    // Fetches the entry, sets title, summary and the trimmed password (an empty password
    // removes the album's protection) and sends it back. Without a password (nullopt) the
    // entry goes without "f:password" and the album keeps its password.
    void updateUserAlbumWithID(const QString& albumId, const QString& title, const QString& summary,
                               const std::optional<QString>& password,
                               const OVPiktoCredentials& credentials, int* error);
    // Creates an empty album, then writes title, summary and password into it. Returns
    // the new identifier, or a null string on failure (also when the answer names no album).
    QString createNewUserAlbumWithTitle(const QString& title, const QString& summary,
                                        const QString& password,
                                        const OVPiktoCredentials& credentials, int* error);
    // Deletes the album; the placeholder "-1" is not sent and reports success.
    void deleteUserAlbumByID(const QString& albumId, const OVPiktoCredentials& credentials,
                             int* error);

    // The identifier an Atom "id" text names: the text after its first "album:", or a
    // null string when it has none.
    static QString albumIdFromAtomId(const QString& atomId);

private:
    // Sends `request` with the client's time-out and deadline, reading at most `cap`
    // answer bytes, and keeps what happened as the last request's outcome.
    HttpResponse send(HttpRequest request, qint64 cap, const QString& subject);
    HttpResponse send(HttpRequest request, qint64 cap);
    // The last answer arrived but could not be used. An answer with a status other than
    // 2xx keeps its status as the explanation.
    void markLastAnswer(RequestOutcome::Kind kind);
    // The versions feed's bytes; nothing without a 200 answer with data.
    std::optional<QByteArray> requestFeed();

    ServiceUrls m_urls;
    Limits m_limits;
    RequestOutcome m_last;
};
