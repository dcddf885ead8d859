#pragma once

#include "command.h"
#include "ovpiktoexporteruploaderdelegate.h"

#include <QString>

class QEventLoop;
class QTimer;
class OvPiktoExporterUploader;
class UploadProgress;

// pikto upload --album ID [--access public|friends|private] [--disable-comments]
//              [--hide-original] [--adults-only] FILE...
// Signs in, sends the files one after another with the plug-in's uploader, and prints
// the album's web address at the end. Files of 20 MiB or more are set aside with a note.
class UploadCommand : public Command, private OvPiktoExporterUploaderDelegate {
public:
    QStringList words() const override { return {QStringLiteral("upload")}; }
    QString summary() const override;
    QStringList parameters() const override { return {QStringLiteral("FILE...")}; }
    QList<Arguments::Option> options() const override;
    QString details() const override;
    // 0 when every file that was not set aside is on the service; 64 for bad
    // arguments, an unreadable file or nothing to send; otherwise the service result
    // code of the failure (see the Session texts).
    int run(const Arguments& arguments, Session& session) override;

    // Files this size or larger are not sent (20 MiB).
    static constexpr qint64 sizeLimit = 20 * 1024 * 1024;

private:
    // How one photo's request ended.
    enum class Outcome { Running, Stored, Refused, Failed, Stalled };

    // The uploader's reports for the photo in progress.
    void uploadEvent(Event event) override;

    // Sends one file and runs the event loop until its request ends.
    Outcome send(OvPiktoExporterUploader& uploader);

    QEventLoop* m_loop = nullptr;
    QTimer* m_stall = nullptr; // restarted whenever the request moves
    int m_lastBytesSent = -1;
    OvPiktoExporterUploader* m_uploader = nullptr;
    UploadProgress* m_progress = nullptr;
    Outcome m_outcome = Outcome::Running;
    double m_doneKiB = 0; // the photos completed before the current one
};
