#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// What a download tells its owner, in this order: the response, the destination, the
// data as it arrives, then either the end or the failure. Each is called once except
// didReceiveDataOfLength; nothing is called after cancel().
class ArchiveDownloadDelegate {
public:
    virtual ~ArchiveDownloadDelegate() = default;
    // `expectedContentLength` is ≤ 0 when the server announces no length.
    virtual void downloadDidReceiveResponse(qint64 expectedContentLength) = 0;
    // Returns the file path to write to, or an empty string to stop the download.
    virtual QString downloadDecideDestination(const QString& suggestedFilename) = 0;
    virtual void downloadDidReceiveDataOfLength(qint64 length) = 0;
    virtual void downloadDidFinish() = 0;
    // `description` is empty when there is nothing better to say.
    virtual void downloadDidFailWithError(const QString& description) = 0;
};

// One URL download on the event loop, written straight to a file as it arrives (the
// body is never held whole in memory) and stored exactly as received (no decoding).
// Gives up after `timeoutMs` without progress. A reply with a status other than 2xx,
// a file that cannot be written, fewer bytes than announced, or more than `maxBytes`
// (refused as soon as they arrive, or at once when the reply announces more) is a failure.
class ArchiveDownload : public QObject {
    Q_OBJECT
public:
    ArchiveDownload(QString url, int timeoutMs, ArchiveDownloadDelegate& delegate,
                    QObject* parent = nullptr, qint64 maxBytes = defaultMaxBytes);
    ~ArchiveDownload() override;

    // 512 MiB: no release comes near it.
    static constexpr qint64 defaultMaxBytes = qint64(512) * 1024 * 1024;

    // Sends the request; the delegate hears from it on the event loop.
    void start();
    // Stops the transfer; the delegate hears nothing more. The partial file stays.
    void cancel();

    // The file name a response suggests: Content-Disposition's filename, else the last
    // segment of the URL; never a path, never empty ("update.zip" as the last resort).
    static QString suggestedFilename(const QString& contentDisposition, const QString& url);

private:
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void fail(const QString& description);
    QString tooLong() const;

    QString m_url;
    int m_timeoutMs;
    ArchiveDownloadDelegate& m_delegate;
    qint64 m_maxBytes;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QPointer<QNetworkReply> m_reply;
    QFile m_file;
    qint64 m_expected = -1;
    qint64 m_written = 0;
    bool m_began = false;
    bool m_done = false;
};
