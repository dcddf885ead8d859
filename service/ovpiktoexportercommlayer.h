#pragma once

#include "ovpiktoalbum.h"
#include "ovpiktocredentials.h"
#include "ovpiktoupdateversioninfo.h"

#include <QByteArray>
#include <QDomDocument>
#include <QList>
#include <QString>

#include <optional>

// The client of the photo service. Every request is synchronous: it blocks the calling
// thread (without running its event loop) until the answer arrives or the 3 s time-out
// passes, and reports failures as result codes (see serviceresult.h) through `error`,
// which may be null. The class keeps no state between requests.
class OvPiktoExporterCommLayer {
public:
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
    // removes the album's protection) and sends it back.
    void updateUserAlbumWithID(const QString& albumId, const QString& title, const QString& summary,
                               const QString& password, const OVPiktoCredentials& credentials,
                               int* error);
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
};
