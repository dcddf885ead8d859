#pragma once

#include "serviceurls.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

// Runs bin/pikto-service of this build on a free loopback port with its own temporary data
// folder, for tests that talk HTTP. Blocking calls only; no event loop is needed.
class ServiceProcess {
public:
    struct Options {
        QStringList users;  // "login:password"
        QStringList tokens; // "login:token"
        QString releasesDir;
    };

    explicit ServiceProcess(Options options = {});
    // Stops the process and removes its data folder.
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts the service (--port 0 --data <temp dir> plus the options) and waits for its
    // "listening on" line. Returns true at once when it runs already; false when it could
    // not start (see lastError).
    bool start();
    // Stops, then starts again on the same data folder with the current options.
    bool restart();
    // Ends the process (SIGTERM, then SIGKILL after a grace period); harmless when stopped.
    void stop();
    bool isRunning() const;
    // The running service's process id; 0 when it does not run.
    qint64 processId() const { return process_ ? process_->processId() : 0; }

    // Replaces the options used by the next start or restart.
    void setOptions(Options options) { options_ = std::move(options); }
    // Whether the next start passes --fault-switch (on unless turned off here).
    void setFaultSwitch(bool on) { faultSwitch_ = on; }
    // More command-line arguments for the next start or restart, after the others.
    void setExtraArguments(QStringList arguments) { extraArguments_ = std::move(arguments); }
    // From the next start on, appends the service's standard error (its log) to the file at
    // `path` instead of passing it to the test's own; empty passes it on again.
    void setLogFile(QString path) { logFile_ = std::move(path); }

    // "http://127.0.0.1:PORT" ("https" when started with --tls-cert); empty before the
    // first start.
    QString origin() const;
    quint16 port() const { return port_; }
    QString dataDir() const;
    // The addresses of this service, for the client and the uploader.
    ServiceUrls urls() const;

    // Arms the service's fault switch: the next `count` requests whose path starts with
    // `pathPrefix` (compared with repeated slashes collapsed) get `action`:
    //   "status": answered with `status`, `body` and extra "content_type";
    //   "drop":   closed without an answer;
    //   "stall":  held for extra "seconds" (default 4), then closed without an answer;
    //   "cut":    closed after extra "after" bytes of the request body (default 1024).
    // Qt's network access resends a request once when its connection closes before any
    // answer byte (drop, and stall when the client waits longer than the stall), and an
    // upload once when its connection breaks while the body is being written (cut): arm
    // these with count 2 to make one request of a Qt client fail. A client that gives up
    // first (a stall past its time-out) sends nothing again.
    // Returns false when the service refused the call or did not answer.
    bool fault(const QString& pathPrefix, const QString& action, int count = 1, int status = 0,
               const QByteArray& body = {}, const QVariantMap& extra = {});
    // Disarms every fault; false when the service did not confirm.
    bool clearFaults();
    // The lines "METHOD PATH" of every request the service received since it started,
    // except the fault switch's and this log's own; empty when it did not answer.
    QStringList requests() const;

    // Why the last start failed.
    QString lastError() const { return lastError_; }
    // The service executable this build made.
    static QString executable();

private:
    Options options_;
    QStringList extraArguments_;
    bool faultSwitch_ = true;
    QString logFile_;
    std::unique_ptr<QTemporaryDir> dataDir_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    QString scheme_ = QStringLiteral("http");
    QString lastError_;
};
