#include "serviceprocess.h"

#include "httprequest.h"
#include "synchttp.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>
#include <QUrl>

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr int kStopGraceMs = 10000;

QByteArray formField(const QString& name, const QByteArray& value) {
    return QUrl::toPercentEncoding(name) + "=" + QUrl::toPercentEncoding(QString::fromUtf8(value));
}

} // namespace

ServiceProcess::ServiceProcess(Options options) : options_(std::move(options)) {}

ServiceProcess::~ServiceProcess() {
    stop();
}

QString ServiceProcess::executable() {
    return QStringLiteral(OVPIKTO_BIN_DIR) + QStringLiteral("/pikto-service");
}

bool ServiceProcess::isRunning() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

bool ServiceProcess::start() {
    if (isRunning())
        return true;
    lastError_.clear();
    if (!dataDir_) {
        dataDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                   QStringLiteral("/pikto-service-XXXXXX"));
        if (!dataDir_->isValid()) {
            lastError_ = QStringLiteral("cannot create a temporary data folder");
            dataDir_.reset();
            return false;
        }
    }

    QStringList arguments{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"),
                          dataDir_->path()};
    for (const QString& user : options_.users)
        arguments << QStringLiteral("--user") << user;
    for (const QString& token : options_.tokens)
        arguments << QStringLiteral("--token") << token;
    if (!options_.releasesDir.isEmpty())
        arguments << QStringLiteral("--releases") << options_.releasesDir;
    // Tests drive the service through its fault switch and request log.
    if (faultSwitch_)
        arguments << QStringLiteral("--fault-switch");
    arguments << extraArguments_;

    process_ = std::make_unique<QProcess>();
    if (logFile_.isEmpty())
        process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        process_->setStandardErrorFile(logFile_, QIODevice::Append);
    process_->start(executable(), arguments);
    if (!process_->waitForStarted(kStartTimeoutMs)) {
        lastError_ = QStringLiteral("cannot run %1: %2").arg(executable(), process_->errorString());
        process_.reset();
        return false;
    }

    static const QRegularExpression ready(
        QStringLiteral("^pikto-service listening on (https?)://[^\\s]+:(\\d+)\\s*$"));
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!process_->canReadLine()) {
        if (process_->state() == QProcess::NotRunning ||
            !process_->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            lastError_ = QStringLiteral("pikto-service did not report that it listens");
            stop();
            return false;
        }
    }
    const QString line = QString::fromUtf8(process_->readLine());
    const QRegularExpressionMatch match = ready.match(line);
    if (!match.hasMatch()) {
        lastError_ = QStringLiteral("unexpected first line: %1").arg(line.trimmed());
        stop();
        return false;
    }
    scheme_ = match.captured(1);
    port_ = static_cast<quint16>(match.captured(2).toUInt());
    return true;
}

bool ServiceProcess::restart() {
    stop();
    return start();
}

void ServiceProcess::stop() {
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(kStopGraceMs)) {
            process_->kill();
            process_->waitForFinished(kStopGraceMs);
        }
    }
    process_.reset();
}

QString ServiceProcess::origin() const {
    if (port_ == 0)
        return {};
    return QStringLiteral("%1://127.0.0.1:%2").arg(scheme_).arg(port_);
}

QString ServiceProcess::dataDir() const {
    return dataDir_ ? dataDir_->path() : QString();
}

ServiceUrls ServiceProcess::urls() const {
    return ServiceUrls(origin());
}

bool ServiceProcess::fault(const QString& pathPrefix, const QString& action, int count, int status,
                           const QByteArray& body, const QVariantMap& extra) {
    QByteArrayList fields{formField(QStringLiteral("path"), pathPrefix.toUtf8()),
                          formField(QStringLiteral("action"), action.toUtf8()),
                          formField(QStringLiteral("count"), QByteArray::number(count))};
    if (action == QStringLiteral("status")) {
        fields << formField(QStringLiteral("status"), QByteArray::number(status));
        fields << formField(QStringLiteral("body"), body);
    }
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        fields << formField(it.key(), it.value().toString().toUtf8());

    HttpRequest request;
    request.url = origin() + QStringLiteral("/_fault/");
    request.method = "POST";
    request.setHeader("Content-Type", "application/x-www-form-urlencoded");
    request.body = fields.join('&');
    request.timeoutSeconds = 10;
    const HttpResponse response = SyncHttp::send(request);
    return response.received && response.status == 200;
}

bool ServiceProcess::clearFaults() {
    HttpRequest request;
    request.url = origin() + QStringLiteral("/_fault/");
    request.method = "DELETE";
    request.timeoutSeconds = 10;
    const HttpResponse response = SyncHttp::send(request);
    return response.received && response.status == 200;
}

QStringList ServiceProcess::requests() const {
    HttpRequest request;
    request.url = origin() + QStringLiteral("/_requests/");
    request.timeoutSeconds = 10;
    const HttpResponse response = SyncHttp::send(request);
    if (!response.received || response.status != 200)
        return {};
    return QString::fromUtf8(response.data).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
