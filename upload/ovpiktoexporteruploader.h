#pragma once

#include "ovpiktocredentials.h"
#include "ovpiktoexporteruploaderdelegate.h"
#include "ovpiktouploadoptions.h"
#include "serviceurls.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Uploads one image file as one multipart/form-data POST to the service's upload address,
// asynchronously on the event loop of the thread that calls `start`, and reports what
// happens to its delegate as numbered events. One uploader serves one image; its owner
// drops it when the image is done, and may do so from inside any delegate call.
//
// How the stream events map onto Qt Network:
// - 8 (connection open) is raised by the first upload progress that reports written body
//   bytes, that is once the connection is up and the request is going out. If an answer
//   arrives before any progress was reported, 8 is raised just before it. A request that
//   never connects gets no 8, only `uploadShouldStop` and 13.
// - `bytesSent` is the last upload-progress count: body bytes written, request head not
//   included.
// - 11 is raised when the exchange ends with a 2xx status. Any other status is a failed
//   request: its body pieces still arrive as 9 or 12, and then the request ends like a
//   stream error (`uploadShouldStop`, 13), so the owner never takes an error page for a
//   stored photo.
// - Qt itself sends the body once more when the connection breaks while the body is being
//   written and before any answer byte; only when that second try breaks too is the
//   request failed (13). The uploader adds no retry of its own.
// - The answer is bounded: once the body is out (or the first answer byte is in) the whole
//   answer must arrive within answerDeadlineMs (30 s) and hold at most maxAnswerBytes
//   (1 MiB); while the body goes out, 30 s without progress is enough. Crossing either
//   ends the request like a stream error (`uploadShouldStop`, 13), with the cause logged.
// - 3 to 7 cannot happen here (Qt always creates the request and its reply and always
//   knows the written count); the numbers stay reserved.
class OvPiktoExporterUploader : public QObject {
    Q_OBJECT

public:
    using Event = OvPiktoExporterUploaderDelegate::Event;
    using enum OvPiktoExporterUploaderDelegate::Event;

    // Posts to `urls.upload()`. No options, no credentials, no request; time-out 7.0;
    // mode "NSDefaultRunLoopMode".
    explicit OvPiktoExporterUploader(ServiceUrls urls,
                                     OvPiktoExporterUploaderDelegate* delegate = nullptr);
    // Tears a running request down without calling the delegate.
    ~OvPiktoExporterUploader() override;

    OvPiktoExporterUploader(const OvPiktoExporterUploader&) = delete;
    OvPiktoExporterUploader& operator=(const OvPiktoExporterUploader&) = delete;

    // The uploader keeps its own copies of both records.
    void setUploadOptions(const OVPiktoUploadOptions& options) { m_uploadOptions = options; }
    void setCredentials(const OVPiktoCredentials& credentials) { m_credentials = credentials; }
    // Not owned; null silences every callback.
    void setDelegate(OvPiktoExporterUploaderDelegate* delegate) { m_delegate = delegate; }
    // The mode the progress timer belongs to. Kept as data: every mode runs on the one
    // Qt event loop of the thread.
    void setCustomRunLoopMode(const QString& mode) { m_customRunLoopMode = mode; }
    // Stored only; the answer's bounds below are what ends a request that runs too long.
    void setTimeout(double seconds) { m_timeout = seconds; }
    // The answer's bounds, for tests: its time in all (and the most silence while the
    // body is sent) in milliseconds, and its size in bytes.
    void setAnswerLimits(int deadlineMs, qint64 maxBytes) {
        m_answerDeadlineMs = deadlineMs;
        m_maxAnswerBytes = maxBytes;
    }

    static constexpr int answerDeadlineMs = 30000;
    static constexpr qint64 maxAnswerBytes = 1024 * 1024;

    const ServiceUrls& serviceUrls() const { return m_urls; }
    const std::optional<OVPiktoUploadOptions>& uploadOptions() const { return m_uploadOptions; }
    const std::optional<OVPiktoCredentials>& credentials() const { return m_credentials; }
    OvPiktoExporterUploaderDelegate* delegate() const { return m_delegate; }
    const QString& customRunLoopMode() const { return m_customRunLoopMode; }
    double timeout() const { return m_timeout; }

    // Every form field part and the image part's head: the body up to the file's bytes.
    // Missing records count as empty values.
    QByteArray createPostDataHeader() const;
    // The whole request body: head, the file's bytes, closing delimiter. Nothing when the
    // file cannot be read in full.
    std::optional<QByteArray> createPostData() const;
    // False for a file name the form cannot carry: one with a line break (CR or LF), which
    // createPostData refuses (so start reports NoRequestBody) and pikto names.
    static bool isSendableFileName(const QString& name);
    // The size used for progress totals: body length + 103 (the Content-Type line).
    // Raises event 0 and returns -1 when there are no options, the file cannot be
    // stat'ed (symbolic links are followed) or the total does not fit in 32 bits.
    int postDataSize();

    // Starts the request. Notifies `uploadShouldStart` with false and does nothing else
    // without options or credentials or while a request runs; otherwise with true, then
    // raises 1 for a bad upload address or 2 for an unreadable file and stays idle, or
    // sends the request and reports through events 8 to 13.
    void start();
    // Notifies `uploadShouldCancel`, then closes the request (if any).
    void cancel();
    // With a request: notifies `uploadShouldStop` and tears the request down. Without
    // one it does nothing, so a second call is harmless.
    void closeStream();
    // Tears the request down (timer, reply) without calling the delegate.
    void killStream();

    // Body bytes written so far; -1 when no request is in progress.
    int bytesSent() const;
    // True exactly while a request exists (from a successful `start` to its close).
    bool isRequestInProgress() const { return !m_requestStream.isNull(); }

    // Wire constants.
    static QByteArray boundary();
    // "multipart/form-data; boundary=" + boundary.
    static QByteArray contentType();
    // "\r\n--" + boundary + "--", 65 bytes, the last bytes of every body.
    static QByteArray closingDelimiter();

private:
    void releaseTimer(QPointer<QTimer>& slot);
    void handleConnectionOpened();
    void checkSentBytes();
    void handleUploadProgress(qint64 bytesSent, qint64 bytesTotal);
    // From now on the answer runs against its one deadline, no longer restarted.
    void beginAnswer();
    void handleDeadline();
    void handleBytesAvailable();
    void handleFinished();
    void handleStreamComplete();
    void handleStreamError();
    // Raises 8 unless it was raised already. False when the delegate destroyed this.
    bool ensureConnectionOpened();

    // Delegate calls. Each returns false when the delegate destroyed this uploader.
    bool notifyUploadShouldStart(bool willStart);
    bool notifyUploadShouldCancel();
    bool notifyUploadShouldStop();
    bool notifyUploadEvent(Event event);

    ServiceUrls m_urls;
    std::optional<OVPiktoUploadOptions> m_uploadOptions;
    std::optional<OVPiktoCredentials> m_credentials;
    // Made at the first start; one per uploader, so no connection or cookie is shared
    // between uploads. Replies and timers are released with deleteLater, as one of them
    // may be emitting the signal whose handler releases it; the manager likewise, when
    // the uploader goes.
    QPointer<QNetworkAccessManager> m_manager;
    // The request in progress (a child of the manager); null when idle.
    QPointer<QNetworkReply> m_requestStream;
    // The progress poll, without a parent (it must not go synchronously with the uploader
    // while it emits); lives from event 8 until the request is released.
    QPointer<QTimer> m_uploadTimer;
    // The answer's deadline, made and released like the progress poll; lives while a
    // request does.
    QPointer<QTimer> m_deadlineTimer;
    int m_answerDeadlineMs = answerDeadlineMs;
    qint64 m_maxAnswerBytes = maxAnswerBytes;
    qint64 m_answerBytes = 0;
    bool m_answering = false;
    OvPiktoExporterUploaderDelegate* m_delegate = nullptr;
    QString m_customRunLoopMode = QStringLiteral("NSDefaultRunLoopMode");
    double m_timeout = 7.0;

    qint64 m_bytesWritten = 0;
    bool m_connectionOpened = false;
    bool m_lowDelaySet = false; // TCP_NODELAY set on this request's connection
};
