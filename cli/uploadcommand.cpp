#include "uploadcommand.h"

#include "ovpiktoexporteruploader.h"
#include "serviceresult.h"
#include "session.h"
#include "uploadprogress.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

// A request size in KiB, rounded as the plug-in's progress rounds it.
double toKiB(qint64 bytes) {
    return double(float(bytes) * (1.0f / 1024.0f));
}

} // namespace

QString UploadCommand::summary() const {
    return QStringLiteral("upload photos to an album, one after another");
}

QList<Arguments::Option> UploadCommand::options() const {
    return {{QStringLiteral("album"), QStringLiteral("ID"), true},
            {QStringLiteral("access"), QStringLiteral("public|friends|private"), false},
            {QStringLiteral("disable-comments"), QString(), false},
            {QStringLiteral("hide-original"), QString(), false},
            {QStringLiteral("adults-only"), QString(), false}};
}

QString UploadCommand::details() const {
    return QStringLiteral(
        "Access is public unless --access says otherwise. Files of 20 MiB or more are\n"
        "set aside and listed. On a terminal a progress bar shows the photo and the amount\n"
        "sent; otherwise one line is printed as each photo starts and ends. The album's web\n"
        "address is printed at the end. A failure stops the run: the photos sent before it\n"
        "stay in the album.");
}

int UploadCommand::run(const Arguments& arguments, Session& session) {
    const QString access = arguments.value(QStringLiteral("access"), QStringLiteral("public"));
    int accessLevel = OVPiktoUploadOptions::Public;
    if (access == QLatin1String("friends"))
        accessLevel = OVPiktoUploadOptions::Friends;
    else if (access == QLatin1String("private"))
        accessLevel = OVPiktoUploadOptions::Private;
    else if (access != QLatin1String("public"))
        return Session::usageError(
            QStringLiteral("upload: --access must be public, friends or private"));
    const QString albumId = arguments.value(QStringLiteral("album"));

    // Every file must be there before anything is sent; the large ones are set aside.
    QStringList files;
    for (const QString& path : arguments.parameters()) {
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable())
            return Session::usageError(QStringLiteral("upload: cannot read %1").arg(path));
        if (!OvPiktoExporterUploader::isSendableFileName(info.fileName()))
            return Session::usageError(
                QStringLiteral("upload: cannot send %1: its name holds a line break; rename it")
                    .arg(QString(path)
                             .replace(QLatin1Char('\n'), QLatin1String("\\n"))
                             .replace(QLatin1Char('\r'), QLatin1String("\\r"))));
        if (info.size() >= sizeLimit) {
            Session::printError(QStringLiteral("upload: skipped %1: 20 MiB or more (%2)")
                                    .arg(path, UploadProgress::formatSize(toKiB(info.size()))));
            continue;
        }
        files.append(path);
    }
    if (files.isEmpty())
        return Session::usageError(QStringLiteral("upload: nothing left to upload"));

    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    int error = ServiceResult::Success;
    session.client().fetchAlbumDataWithID(albumId, session.credentials(), &error);
    if (error != ServiceResult::Success)
        return session.fail(QStringLiteral("upload: album %1").arg(albumId), error);

    // One options record per file, and the total the progress runs to.
    QList<OVPiktoUploadOptions> uploads;
    double totalKiB = 0;
    for (const QString& path : files) {
        OVPiktoUploadOptions options(path);
        options.setFileName(QFileInfo(path).fileName());
        options.setAlbumID(albumId);
        options.setAccess(accessLevel);
        options.setIsCommentingDisabled(arguments.has(QStringLiteral("disable-comments")));
        options.setIsPublishingDisabled(arguments.has(QStringLiteral("hide-original")));
        options.setIsAdultsOnly(arguments.has(QStringLiteral("adults-only")));
        options.setExportPluginVersion(QStringLiteral(OVPIKTO_VERSION));
        OvPiktoExporterUploader sizer(session.serviceUrls());
        sizer.setUploadOptions(options);
        sizer.setCredentials(session.credentials());
        totalKiB += toKiB(sizer.postDataSize());
        uploads.append(options);
    }

    UploadProgress progress(int(uploads.size()), totalKiB, isatty(STDOUT_FILENO) != 0);
    m_progress = &progress;
    m_doneKiB = 0;
    for (qsizetype i = 0; i < uploads.size(); ++i) {
        OvPiktoExporterUploader uploader(session.serviceUrls(), this);
        uploader.setUploadOptions(uploads[i]);
        uploader.setCredentials(OVPiktoCredentials::initWithCredentials(session.credentials()));
        progress.beginPhoto(int(i), uploads[i].fileName(), m_doneKiB);
        const Outcome outcome = send(uploader);
        if (outcome == Outcome::Stored) {
            m_doneKiB += toKiB(uploader.postDataSize());
            progress.endPhoto(m_doneKiB);
            continue;
        }
        progress.finish();
        m_progress = nullptr;
        // As the plug-in does, ask the album why: a deleted album or a lost sign-in
        // explains the failure better than the upload itself can.
        int check = ServiceResult::Success;
        session.client().fetchAlbumDataWithID(albumId, session.credentials(), &check);
        Session::printError(
            QStringLiteral("upload: %1 of %2 photos uploaded").arg(i).arg(uploads.size()));
        if (check != ServiceResult::Success)
            return session.fail(QStringLiteral("upload: %1").arg(uploads[i].filePath()), check);
        if (outcome == Outcome::Refused) {
            Session::printError(
                QStringLiteral("upload: %1: the service refused the photo (Upload failed)")
                    .arg(uploads[i].filePath()));
            return ServiceResult::OtherStatus;
        }
        if (outcome == Outcome::Stalled)
            Session::printError(QStringLiteral("upload: %1: nothing moved for %2 s; gave up")
                                    .arg(uploads[i].filePath())
                                    .arg(uploader.timeout()));
        else
            Session::printError(QStringLiteral("upload: %1: the connection failed while sending")
                                    .arg(uploads[i].filePath()));
        return ServiceResult::NoConnection;
    }
    progress.finish();
    m_progress = nullptr;
    Session::print(QStringLiteral("%1 photos uploaded").arg(uploads.size()));
    Session::print(session.serviceUrls().albumPage(session.credentials().login(), albumId));
    return ExitStatus::Ok;
}

UploadCommand::Outcome UploadCommand::send(OvPiktoExporterUploader& uploader) {
    QEventLoop loop;
    // The uploader has no time-out of its own; its owner gives up when neither sent
    // bytes nor an answer have moved for the uploader's time-out.
    QTimer stall;
    stall.setSingleShot(true);
    stall.setInterval(int(uploader.timeout() * 1000));
    QObject::connect(&stall, &QTimer::timeout, &loop, [this, &uploader, &loop] {
        m_outcome = Outcome::Stalled;
        uploader.cancel();
        loop.quit();
    });
    m_loop = &loop;
    m_stall = &stall;
    m_lastBytesSent = -1;
    m_uploader = &uploader;
    m_outcome = Outcome::Running;
    uploader.start();
    if (m_outcome == Outcome::Running && uploader.isRequestInProgress()) {
        stall.start();
        loop.exec();
    }
    m_loop = nullptr;
    m_stall = nullptr;
    m_uploader = nullptr;
    // A request that never got going (events 0 to 7) counts as failed.
    return m_outcome == Outcome::Running ? Outcome::Failed : m_outcome;
}

void UploadCommand::uploadEvent(Event event) {
    switch (event) {
    case OvPiktoExporterUploader::ProgressTick: {
        const int sent = m_uploader ? m_uploader->bytesSent() : -1;
        if (sent != m_lastBytesSent && m_stall)
            m_stall->start();
        m_lastBytesSent = sent;
        if (m_progress && sent >= 0)
            m_progress->update(m_doneKiB + toKiB(sent));
        return;
    }
    case OvPiktoExporterUploader::ResponseReceived:
        if (m_stall)
            m_stall->start();
        return;
    case OvPiktoExporterUploader::UploadFinished:
        // A refusal read earlier in the same answer stands.
        if (m_outcome == Outcome::Running)
            m_outcome = Outcome::Stored;
        break;
    case OvPiktoExporterUploader::UploadFailed:
        m_outcome = Outcome::Refused;
        break;
    case OvPiktoExporterUploader::StreamError:
        if (m_outcome == Outcome::Running)
            m_outcome = Outcome::Failed;
        break;
    default:
        return;
    }
    // After a refusal the request may still be open: the uploader is dropped, which
    // tears it down.
    if (m_loop)
        m_loop->quit();
}
