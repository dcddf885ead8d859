#include "ovpiktoexporteruploader.h"

#include "log.h"
#include "lowdelaysockets.h"
#include "serviceurls.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <climits>
#include <cstdlib>
#include <utility>

namespace {

constexpr qsizetype responseChunk = 2048;
constexpr int progressIntervalMs = 10;

// Calls the delegate, logging a std::exception with `format` ("...: %1, %2": name, what).
// Other exceptions pass. Returns false when the call destroyed the uploader.
template <typename Call>
bool callDelegate(OvPiktoExporterUploader* uploader, OvPiktoExporterUploaderDelegate* delegate,
                  const QString& format, Call&& call) {
    if (!delegate)
        return true;
    const QPointer<OvPiktoExporterUploader> alive(uploader);
    try {
        call(*delegate);
    } catch (const std::exception& exception) {
        Log::write(
            format.arg(Log::exceptionName(exception), QString::fromLocal8Bit(exception.what())));
    }
    return !alive.isNull();
}

QString fieldPart(const QString& name, const QString& value) {
    return QStringLiteral("--%1\r\nContent-Disposition: form-data; name=\"%2\"\r\n\r\n%3\r\n")
        .arg(QString::fromLatin1(OvPiktoExporterUploader::boundary()), name, value);
}

bool isSuccessStatus(const QNetworkReply& reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() && status.toInt() >= 200 && status.toInt() < 300;
}

} // namespace

OvPiktoExporterUploader::OvPiktoExporterUploader(ServiceUrls urls,
                                                 OvPiktoExporterUploaderDelegate* delegate)
    : m_urls(std::move(urls)), m_delegate(delegate) {}

OvPiktoExporterUploader::~OvPiktoExporterUploader() {
    killStream();
    // The uploader may be destroyed from inside one of the reply's signals, with the
    // manager's code still on the stack: the manager goes with the next pass of the
    // event loop.
    if (m_manager)
        m_manager->deleteLater();
}

QByteArray OvPiktoExporterUploader::boundary() {
    return QByteArrayLiteral("---------------------------8f999edae883c6039b244c0d341f45f8");
}

QByteArray OvPiktoExporterUploader::contentType() {
    return QStringLiteral("multipart/form-data; boundary=%1")
        .arg(QString::fromLatin1(boundary()))
        .toLatin1();
}

QByteArray OvPiktoExporterUploader::closingDelimiter() {
    return QStringLiteral("\r\n--%1--").arg(QString::fromLatin1(boundary())).toLatin1();
}

QByteArray OvPiktoExporterUploader::createPostDataHeader() const {
    const OVPiktoUploadOptions options = m_uploadOptions.value_or(OVPiktoUploadOptions(QString()));
    const OVPiktoCredentials credentials = m_credentials.value_or(OVPiktoCredentials());

    // One fixed order, so that the same upload always has the same body.
    QString head = fieldPart(QStringLiteral("token"), credentials.token());
    head += fieldPart(QStringLiteral("album"), options.albumID());
    switch (options.access()) {
    case OVPiktoUploadOptions::Public:
        head += fieldPart(QStringLiteral("access_type"), QStringLiteral("public"));
        break;
    case OVPiktoUploadOptions::Private:
        head += fieldPart(QStringLiteral("access_type"), QStringLiteral("private"));
        break;
    case OVPiktoUploadOptions::Friends:
        head += fieldPart(QStringLiteral("access_type"), QStringLiteral("friends"));
        break;
    default: // any other level sends no access field
        break;
    }
    if (options.isCommentingDisabled())
        head += fieldPart(QStringLiteral("disable_comments"), QStringLiteral("1"));
    head += fieldPart(QStringLiteral("ovru"), QStringLiteral("0"));
    if (options.isAdultsOnly())
        head += fieldPart(QStringLiteral("xxx"), QStringLiteral("1"));
    if (options.isPublishingDisabled())
        head += fieldPart(QStringLiteral("hide_orig"), QStringLiteral("1"));
    head += fieldPart(QStringLiteral("pub_channel"), QStringLiteral("iPhoto"));
    head += fieldPart(QStringLiteral("app_platform"), QStringLiteral("iPhoto export plugin"));
    head += fieldPart(QStringLiteral("app_version"), options.exportPluginVersion());

    head +=
        QStringLiteral("--%1\r\nContent-Disposition: form-data; name=\"image\"; "
                       "filename=\"%2\"\r\nContent-Type: %3\r\n\r\n")
            .arg(QString::fromLatin1(boundary()), options.fileName(), QStringLiteral("image/jpeg"));
    return head.toUtf8();
}

bool OvPiktoExporterUploader::isSendableFileName(const QString& name) {
    return !name.contains(QLatin1Char('\r')) && !name.contains(QLatin1Char('\n'));
}

std::optional<QByteArray> OvPiktoExporterUploader::createPostData() const {
    // A line break would end the part's header inside the name.
    if (!m_uploadOptions || !isSendableFileName(m_uploadOptions->fileName()))
        return std::nullopt;
    QFile file(m_uploadOptions->filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    const qint64 fileSize = file.size();
    const QByteArray head = createPostDataHeader();
    const QByteArray closing = closingDelimiter();

    // One allocation of the final size; the file is read straight into its place.
    QByteArray body;
    body.reserve(head.size() + fileSize + closing.size());
    body.append(head);
    body.resize(head.size() + fileSize);
    qint64 done = 0;
    while (done < fileSize) {
        const qint64 n = file.read(body.data() + head.size() + done, fileSize - done);
        if (n <= 0)
            return std::nullopt; // read error, or the file shrank meanwhile
        done += n;
    }
    body.append(closing);
    return body;
}

int OvPiktoExporterUploader::postDataSize() {
    const QFileInfo info(m_uploadOptions ? m_uploadOptions->filePath() : QString());
    if (!m_uploadOptions || !info.exists()) {
        notifyUploadEvent(FileAttributesUnreadable);
        return -1;
    }
    const qint64 total = createPostDataHeader().size() + info.size() + closingDelimiter().size() +
                         QStringLiteral("Content-Type: multipart/form-data; boundary=%1")
                             .arg(QString::fromLatin1(boundary()))
                             .size();
    if (total > INT_MAX) {
        notifyUploadEvent(FileAttributesUnreadable);
        return -1;
    }
    return int(total);
}

void OvPiktoExporterUploader::start() {
    if (!m_uploadOptions || !m_credentials || isRequestInProgress()) {
        notifyUploadShouldStart(false);
        return;
    }
    if (!notifyUploadShouldStart(true))
        return;
    if (isRequestInProgress())
        return; // the delegate started it from inside the notice

    QString address = m_urls.upload();
    if (address.isEmpty()) {
        notifyUploadEvent(InvalidUrl);
        return;
    }
    if (!address.startsWith(QLatin1String("http://")) &&
        !address.startsWith(QLatin1String("https://")))
        address = QStringLiteral("http://%1").arg(address);
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        notifyUploadEvent(InvalidUrl);
        return;
    }

    std::optional<QByteArray> body = createPostData();
    if (!body) {
        notifyUploadEvent(NoRequestBody);
        return;
    }

    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", contentType());
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    if (!m_manager) {
        m_manager = new QNetworkAccessManager; // released in the destructor
        m_manager->setProxy(QNetworkProxy::NoProxy);
    }
    m_bytesWritten = 0;
    m_connectionOpened = false;
    m_lowDelaySet = false;
    m_answerBytes = 0;
    m_answering = false;
    // The reply's buffer shares the body; this function's copy goes when it returns, so
    // one body stays in memory.
    m_requestStream = m_manager->post(request, *body);
    body.reset();

    QNetworkReply* reply = m_requestStream;
    // Qt stops reading the socket while this much waits unread.
    reply->setReadBufferSize(64 * 1024);
    m_deadlineTimer = new QTimer; // released by releaseTimer, never with this uploader
    m_deadlineTimer->setSingleShot(true);
    m_deadlineTimer->setTimerType(Qt::PreciseTimer);
    m_deadlineTimer->setInterval(m_answerDeadlineMs);
    connect(m_deadlineTimer, &QTimer::timeout, this, &OvPiktoExporterUploader::handleDeadline);
    m_deadlineTimer->start();
    connect(reply, &QNetworkReply::uploadProgress, this,
            [this](qint64 sent, qint64 total) { handleUploadProgress(sent, total); });
    connect(reply, &QNetworkReply::metaDataChanged, this, &OvPiktoExporterUploader::beginAnswer);
    connect(reply, &QNetworkReply::readyRead, this, &OvPiktoExporterUploader::handleBytesAvailable);
    connect(reply, &QNetworkReply::finished, this, &OvPiktoExporterUploader::handleFinished);
}

void OvPiktoExporterUploader::cancel() {
    if (!notifyUploadShouldCancel())
        return;
    closeStream();
}

void OvPiktoExporterUploader::closeStream() {
    if (!m_requestStream)
        return;
    if (!notifyUploadShouldStop())
        return;
    killStream();
}

void OvPiktoExporterUploader::releaseTimer(QPointer<QTimer>& slot) {
    QTimer* timer = slot;
    slot.clear();
    if (!timer)
        return;
    timer->stop();
    timer->disconnect(this);
    timer->deleteLater(); // it may be emitting the tick we are in
}

void OvPiktoExporterUploader::killStream() {
    releaseTimer(m_uploadTimer);
    releaseTimer(m_deadlineTimer);
    QNetworkReply* reply = m_requestStream;
    m_requestStream.clear();
    if (!reply)
        return;
    reply->disconnect(this);
    reply->abort();       // does nothing once the reply has finished
    reply->deleteLater(); // it may be emitting the signal we are in
}

int OvPiktoExporterUploader::bytesSent() const {
    if (!m_requestStream)
        return -1;
    return int(qMin<qint64>(m_bytesWritten, INT_MAX));
}

void OvPiktoExporterUploader::handleUploadProgress(qint64 sent, qint64 total) {
    if (sent <= 0)
        return; // Qt reports 0 of 0 for a request that never sent anything
    m_bytesWritten = sent;
    if (!m_lowDelaySet && m_requestStream) {
        // The body is under way, so its connection is open: its tail must not wait for
        // the service's delayed acknowledgement.
        m_lowDelaySet = true;
        LowDelaySockets::applyToPeerPort(quint16(m_requestStream->url().port(
            m_requestStream->url().scheme() == QLatin1String("https") ? 443 : 80)));
    }
    if (total > 0 && sent >= total)
        beginAnswer();
    else if (!m_answering && m_deadlineTimer)
        m_deadlineTimer->start(); // the body is still moving
    ensureConnectionOpened();
}

void OvPiktoExporterUploader::beginAnswer() {
    if (m_answering || !m_deadlineTimer)
        return;
    m_answering = true;
    m_deadlineTimer->start();
}

void OvPiktoExporterUploader::handleDeadline() {
    if (!m_requestStream)
        return;
    Log::write(m_answering
                   ? QStringLiteral("upload stream error: the answer did not end within %1 s")
                         .arg(m_answerDeadlineMs / 1000.0)
                   : QStringLiteral("upload stream error: nothing was sent for %1 s")
                         .arg(m_answerDeadlineMs / 1000.0));
    handleStreamError();
}

bool OvPiktoExporterUploader::ensureConnectionOpened() {
    if (m_connectionOpened)
        return true;
    m_connectionOpened = true;
    const QPointer<OvPiktoExporterUploader> alive(this);
    handleConnectionOpened();
    return !alive.isNull();
}

void OvPiktoExporterUploader::handleConnectionOpened() {
    if (!notifyUploadEvent(ConnectionOpened) || !m_requestStream)
        return;
    releaseTimer(m_uploadTimer);
    // The first tick comes with the next pass of the event loop, then every 0.01 s.
    m_uploadTimer = new QTimer; // released by releaseTimer, never with this uploader
    m_uploadTimer->setTimerType(Qt::PreciseTimer);
    m_uploadTimer->setInterval(0);
    connect(m_uploadTimer, &QTimer::timeout, this, &OvPiktoExporterUploader::checkSentBytes);
    m_uploadTimer->start();
}

void OvPiktoExporterUploader::checkSentBytes() {
    if (m_uploadTimer && m_uploadTimer->interval() != progressIntervalMs)
        m_uploadTimer->setInterval(progressIntervalMs);
    notifyUploadEvent(ProgressTick);
}

void OvPiktoExporterUploader::handleBytesAvailable() {
    const QPointer<OvPiktoExporterUploader> alive(this);
    if (!ensureConnectionOpened() || !alive)
        return;
    // Each read is judged on its own; the answer is not put together.
    while (alive && m_requestStream && m_requestStream->bytesAvailable() > 0) {
        const QByteArray piece = m_requestStream->read(responseChunk);
        if (piece.isEmpty())
            return;
        beginAnswer();
        m_answerBytes += piece.size();
        if (m_answerBytes > m_maxAnswerBytes) {
            Log::write(QStringLiteral("upload stream error: the answer is larger than %1 bytes")
                           .arg(m_maxAnswerBytes));
            return handleStreamError();
        }
        Log::write(
            QStringLiteral(">>>>>>>>>>>>> upload response: %1").arg(QString::fromLocal8Bit(piece)));
        notifyUploadEvent(piece == "Upload failed" ? UploadFailed : ResponseReceived);
    }
}

void OvPiktoExporterUploader::handleFinished() {
    const QPointer<OvPiktoExporterUploader> alive(this);
    if (!m_requestStream)
        return;
    const bool answered =
        m_requestStream->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (answered) {
        // Whatever is still unread belongs to the answer.
        handleBytesAvailable();
        if (!alive || !m_requestStream)
            return;
    }
    if (m_requestStream->error() == QNetworkReply::NoError && isSuccessStatus(*m_requestStream)) {
        handleStreamComplete();
        return;
    }
    const QVariant status = m_requestStream->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    Log::write(status.isValid()
                   ? QStringLiteral("upload refused with HTTP status %1").arg(status.toInt())
                   : QStringLiteral("upload stream error: %1").arg(m_requestStream->errorString()));
    handleStreamError();
}

void OvPiktoExporterUploader::handleStreamComplete() {
    if (!notifyUploadEvent(UploadFinished))
        return;
    closeStream();
}

void OvPiktoExporterUploader::handleStreamError() {
    const QPointer<OvPiktoExporterUploader> alive(this);
    closeStream();
    if (alive)
        notifyUploadEvent(StreamError);
}

bool OvPiktoExporterUploader::notifyUploadShouldStart(bool willStart) {
    return callDelegate(this, m_delegate, QStringLiteral("EXCEPTION in uploadShouldStart: %1, %2"),
                        [willStart](OvPiktoExporterUploaderDelegate& delegate) {
                            delegate.uploadShouldStart(QZBoolean::booleanWithValue(willStart));
                        });
}

bool OvPiktoExporterUploader::notifyUploadShouldCancel() {
    return callDelegate(
        this, m_delegate, QStringLiteral("EXCEPTION in uploadShouldCancel: %1, %2"),
        [](OvPiktoExporterUploaderDelegate& delegate) { delegate.uploadShouldCancel(); });
}

bool OvPiktoExporterUploader::notifyUploadShouldStop() {
    return callDelegate(
        this, m_delegate, QStringLiteral("EXCEPTION in uploadShouldStop: %1, %2"),
        [](OvPiktoExporterUploaderDelegate& delegate) { delegate.uploadShouldStop(); });
}

bool OvPiktoExporterUploader::notifyUploadEvent(Event event) {
    return callDelegate(
        this, m_delegate, QStringLiteral("EXCEPTION in uploadEvent: %1, %2"),
        [event](OvPiktoExporterUploaderDelegate& delegate) { delegate.uploadEvent(event); });
}
