#pragma once

#include "arguments.h"
#include "ovpiktoexporteruploaderdelegate.h"
#include "ovpiktouploadoptions.h"

#include <QList>
#include <QString>

#include <optional>

class OvPiktoExporterUploader;
class QEventLoop;
class QTimer;
class Session;
class UploadProgress;

// Sends photos to one album one after another with the plug-in's uploader, for `pikto
// upload` and `pikto sync`: one request per photo, given up when neither sent bytes nor an
// answer have moved for the uploader's time-out, with the progress drawn as bytes go.
// Messages start with the command's name ("upload: ...").
class PhotoSender : private OvPiktoExporterUploaderDelegate {
public:
    // How one photo's request ended.
    enum class Outcome { Stored, Refused, Failed, Stalled };
    // Why a photo did not go, as told to the user.
    struct Failure {
        int status = 0;         // the exit status the failure calls for
        bool photoOnly = false; // the service refused this photo; the album and sign-in are fine
    };

    // Files this size or larger are not sent (20 MiB).
    static constexpr qint64 sizeLimit = 20 * 1024 * 1024;

    PhotoSender(Session& session, QString command)
        : m_session(session), m_command(std::move(command)) {}

    // --album ID, --access and the three flags.
    static QList<Arguments::Option> options();
    // A request size in KiB, rounded as the plug-in's progress rounds it.
    static double toKiB(qint64 bytes);
    // The note for a file set aside as too large: "skipped PATH: 20 MiB or more (SIZE)".
    static QString tooLargeNote(const QString& path, qint64 size);
    // PATH with its line breaks shown as \n and \r, for naming a file whose name holds one.
    static QString printable(QString path);

    // Takes the album, the access and the flags from `arguments`. False, after printing
    // the usage error, for an access other than public, friends or private.
    bool configure(const Arguments& arguments);
    const QString& albumId() const { return m_albumId; }

    // Asks the service for the album (signed in). 0 when it is there; otherwise names the
    // failure ("COMMAND: album ID: why") and returns its exit status.
    int checkAlbum();
    // The upload options for the file at `path`.
    OVPiktoUploadOptions optionsFor(const QString& path) const;
    // The request size of sending `options` in KiB, for the progress total.
    double requestKiB(const OVPiktoUploadOptions& options) const;
    // Sends one photo and runs the event loop until its request ends; `progress` is drawn
    // from `doneKiB` (what the photos before it sent) on. Returns how the request ended.
    Outcome send(const OVPiktoUploadOptions& options, UploadProgress& progress, double doneKiB);
    // After a photo that did not go: asks the album why (a deleted album or a lost sign-in
    // explains the failure better than the upload itself can), names the failure
    // ("COMMAND: PATH: why") and returns it.
    Failure explain(const QString& path, Outcome outcome);

private:
    // The uploader's reports for the photo in progress.
    void uploadEvent(Event event) override;

    Session& m_session;
    QString m_command;
    QString m_albumId;
    int m_access = OVPiktoUploadOptions::Public;
    bool m_commentsDisabled = false;
    bool m_originalHidden = false;
    bool m_adultsOnly = false;
    int m_timeout = 0; // seconds, the uploader's; named when a photo stalls

    QEventLoop* m_loop = nullptr;
    QTimer* m_stall = nullptr; // restarted whenever the request moves
    int m_lastBytesSent = -1;
    OvPiktoExporterUploader* m_uploader = nullptr;
    UploadProgress* m_progress = nullptr;
    std::optional<Outcome> m_outcome; // empty while the request runs
    double m_doneKiB = 0;             // the photos completed before the current one
};
