#include "archivedownload.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

ArchiveDownload::ArchiveDownload(QString url, int timeoutMs, ArchiveDownloadDelegate& delegate,
                                 QObject* parent, qint64 maxBytes)
    : QObject(parent), m_url(std::move(url)), m_timeoutMs(timeoutMs), m_delegate(delegate),
      m_maxBytes(maxBytes), m_manager(std::make_unique<QNetworkAccessManager>()) {}

ArchiveDownload::~ArchiveDownload() {
    cancel();
}

QString ArchiveDownload::suggestedFilename(const QString& contentDisposition, const QString& url) {
    static const QRegularExpression filenamePattern(
        QStringLiteral(R"re(filename\s*=\s*"?([^";]+)"?)re"),
        QRegularExpression::CaseInsensitiveOption);
    QString name;
    if (const auto match = filenamePattern.match(contentDisposition); match.hasMatch())
        name = match.captured(1).trimmed();
    if (name.isEmpty())
        name = QUrl(url).fileName();
    // Only the last segment: a suggested name never chooses a folder.
    name = name.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name = QStringLiteral("update.zip");
    return name;
}

void ArchiveDownload::start() {
    const QUrl url(m_url);
    if (!url.isValid() || url.isRelative()) {
        // Reported on the event loop like every other outcome.
        QMetaObject::invokeMethod(
            this, [this] { fail(QStringLiteral("The address is not valid.")); },
            Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    // The archive is stored exactly as the server sends it.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_manager->get(request);
    // Qt stops reading the socket while this much waits unread, so a fast sender cannot
    // grow memory past it between two reads.
    m_reply->setReadBufferSize(256 * 1024);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &ArchiveDownload::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &ArchiveDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &ArchiveDownload::onFinished);
}

void ArchiveDownload::cancel() {
    m_done = true;
    if (m_reply) {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (m_file.isOpen())
        m_file.close();
}

void ArchiveDownload::onMetaData() {
    if (m_done || m_began || !m_reply)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Redirects and error answers are not the archive; finished() reports errors.
    if (!status.isValid() || status.toInt() < 200 || status.toInt() > 299)
        return;
    m_began = true;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_expected = length.isValid() ? length.toLongLong() : -1;
    if (m_expected > m_maxBytes)
        return fail(tooLong());
    m_delegate.downloadDidReceiveResponse(m_expected);
    if (m_done)
        return;
    const QString destination = m_delegate.downloadDecideDestination(suggestedFilename(
        QString::fromUtf8(m_reply->rawHeader("Content-Disposition")), m_reply->url().toString()));
    if (m_done)
        return;
    if (destination.isEmpty())
        return fail(QStringLiteral("There is no place to store the download."));
    m_file.setFileName(destination);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("Cannot write %1: %2").arg(destination, m_file.errorString()));
}

void ArchiveDownload::onReadyRead() {
    if (m_done || !m_reply)
        return;
    if (!m_began) {
        onMetaData();
        if (m_done || !m_began) {
            if (m_reply)
                m_reply->readAll(); // an error page: dropped, finished() reports it
            return;
        }
    }
    while (m_reply && m_reply->bytesAvailable() > 0) {
        const QByteArray chunk = m_reply->read(64 * 1024);
        if (m_written + chunk.size() > m_maxBytes)
            return fail(tooLong());
        if (m_file.write(chunk) != chunk.size())
            return fail(
                QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
        m_written += chunk.size();
        m_delegate.downloadDidReceiveDataOfLength(chunk.size());
        if (m_done)
            return;
    }
}

void ArchiveDownload::onFinished() {
    if (m_done || !m_reply)
        return;
    if (m_reply->error() != QNetworkReply::NoError) {
        QString description = m_reply->errorString();
        if (m_reply->error() == QNetworkReply::OperationCanceledError)
            description = QStringLiteral("The server did not answer in time.");
        return fail(description);
    }
    onReadyRead();
    if (m_done)
        return;
    if (!m_began)
        return fail(QStringLiteral("The server sent no archive."));
    if (!m_file.flush()) {
        return fail(
            QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    m_file.close();
    if (m_expected > 0 && m_written != m_expected)
        return fail(QStringLiteral("The download ended after %1 of %2 bytes.")
                        .arg(m_written)
                        .arg(m_expected));
    m_done = true;
    m_reply->deleteLater();
    m_reply = nullptr;
    m_delegate.downloadDidFinish();
}

QString ArchiveDownload::tooLong() const {
    return QStringLiteral("The server sent more than the %1 bytes expected.").arg(m_maxBytes);
}

void ArchiveDownload::fail(const QString& description) {
    cancel();
    m_delegate.downloadDidFailWithError(description);
}
