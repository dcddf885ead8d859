#include "photosender.h"

#include "command.h"
#include "ovpiktoexporteruploader.h"
#include "serviceresult.h"
#include "session.h"
#include "uploadprogress.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

QList<Arguments::Option> PhotoSender::options() {
    return {{QStringLiteral("album"), QStringLiteral("ID"), true},
            {QStringLiteral("access"), QStringLiteral("public|friends|private"), false},
            {QStringLiteral("disable-comments"), QString(), false},
            {QStringLiteral("hide-original"), QString(), false},
            {QStringLiteral("adults-only"), QString(), false}};
}

double PhotoSender::toKiB(qint64 bytes) {
    return double(float(bytes) * (1.0f / 1024.0f));
}

QString PhotoSender::tooLargeNote(const QString& path, qint64 size) {
    return QStringLiteral("skipped %1: 20 MiB or more (%2)")
        .arg(path, UploadProgress::formatSize(toKiB(size)));
}

QString PhotoSender::printable(QString path) {
    return path.replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"));
}

bool PhotoSender::configure(const Arguments& arguments) {
    const QString access = arguments.value(QStringLiteral("access"), QStringLiteral("public"));
    if (access == QLatin1String("friends")) {
        m_access = OVPiktoUploadOptions::Friends;
    } else if (access == QLatin1String("private")) {
        m_access = OVPiktoUploadOptions::Private;
    } else if (access != QLatin1String("public")) {
        Session::usageError(
            QStringLiteral("%1: --access must be public, friends or private").arg(m_command));
        return false;
    }
    m_albumId = arguments.value(QStringLiteral("album"));
    m_commentsDisabled = arguments.has(QStringLiteral("disable-comments"));
    m_originalHidden = arguments.has(QStringLiteral("hide-original"));
    m_adultsOnly = arguments.has(QStringLiteral("adults-only"));
    return true;
}

int PhotoSender::checkAlbum() {
    int error = ServiceResult::Success;
    m_session.client().fetchAlbumDataWithID(m_albumId, m_session.credentials(), &error);
    if (error != ServiceResult::Success)
        return m_session.fail(QStringLiteral("%1: album %2").arg(m_command, m_albumId), error);
    return ExitStatus::Ok;
}

OVPiktoUploadOptions PhotoSender::optionsFor(const QString& path) const {
    OVPiktoUploadOptions options(path);
    options.setFileName(QFileInfo(path).fileName());
    options.setAlbumID(m_albumId);
    options.setAccess(m_access);
    options.setIsCommentingDisabled(m_commentsDisabled);
    options.setIsPublishingDisabled(m_originalHidden);
    options.setIsAdultsOnly(m_adultsOnly);
    options.setExportPluginVersion(QStringLiteral(OVPIKTO_VERSION));
    return options;
}

double PhotoSender::requestKiB(const OVPiktoUploadOptions& options) const {
    OvPiktoExporterUploader sizer(m_session.serviceUrls());
    sizer.setUploadOptions(options);
    sizer.setCredentials(m_session.credentials());
    return toKiB(sizer.postDataSize());
}

PhotoSender::Outcome PhotoSender::send(const OVPiktoUploadOptions& options,
                                       UploadProgress& progress, double doneKiB) {
    OvPiktoExporterUploader uploader(m_session.serviceUrls(), this);
    uploader.setUploadOptions(options);
    uploader.setCredentials(OVPiktoCredentials::initWithCredentials(m_session.credentials()));
    m_timeout = int(uploader.timeout());

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
    m_progress = &progress;
    m_doneKiB = doneKiB;
    m_outcome.reset();
    uploader.start();
    if (!m_outcome && uploader.isRequestInProgress()) {
        stall.start();
        loop.exec();
    }
    m_loop = nullptr;
    m_stall = nullptr;
    m_uploader = nullptr;
    m_progress = nullptr;
    // A request that never got going (events 0 to 7) counts as failed.
    return m_outcome.value_or(Outcome::Failed);
}

PhotoSender::Failure PhotoSender::explain(const QString& path, Outcome outcome) {
    int check = ServiceResult::Success;
    m_session.client().fetchAlbumDataWithID(m_albumId, m_session.credentials(), &check);
    if (check != ServiceResult::Success)
        return {m_session.fail(QStringLiteral("%1: %2").arg(m_command, path), check)};
    switch (outcome) {
    case Outcome::Refused:
        Session::printError(QStringLiteral("%1: %2: the service refused the photo (Upload failed)")
                                .arg(m_command, path));
        return {ServiceResult::OtherStatus, true};
    case Outcome::Stalled:
        Session::printError(QStringLiteral("%1: %2: nothing moved for %3 s; gave up")
                                .arg(m_command, path)
                                .arg(m_timeout));
        break;
    default:
        Session::printError(
            QStringLiteral("%1: %2: the connection failed while sending").arg(m_command, path));
        break;
    }
    return {ServiceResult::NoConnection};
}

void PhotoSender::uploadEvent(Event event) {
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
        if (!m_outcome)
            m_outcome = Outcome::Stored;
        break;
    case OvPiktoExporterUploader::UploadFailed:
        m_outcome = Outcome::Refused;
        break;
    case OvPiktoExporterUploader::StreamError:
        if (!m_outcome)
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
