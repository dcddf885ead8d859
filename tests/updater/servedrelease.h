#pragma once

#include "serviceprocess.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A release of this build made and signed by scripts/make-release and served by
// pikto-service, for a host installation whose updater scripts/install-updater set up
// with the release key: the release loop the end-to-end update tests start from.
class ServedRelease {
public:
    ServedRelease();
    // Stops the service and removes the keys and releases.
    ~ServedRelease();
    ServedRelease(const ServedRelease&) = delete;
    ServedRelease& operator=(const ServedRelease&) = delete;

    // Starts the service, makes a key pair, installs the updater into the host
    // installation at `hostRoot` with the public key, and makes release `version` into
    // the folder the service serves. Returns false at the first step that fails (see
    // lastError, which carries that step's output).
    bool publish(const QString& hostRoot, const QString& version);
    QString lastError() const { return m_error; }

    // The service's "http://127.0.0.1:PORT"; empty before publish.
    QString origin() const { return m_service.origin(); }
    // The key the installed updater checks releases with; empty before publish.
    QString publicKey() const { return m_publicKey; }
    // Runs `program` with `arguments` to its end in the environment the release was made
    // in (the service's address set, the host's bundle not). Returns its exit code, or
    // -1 when it did not end normally in time; its merged output goes into `output`.
    int run(const QString& program, const QStringList& arguments, QString* output) const;

private:
    bool fail(const QString& step, const QString& output);

    QTemporaryDir m_work;
    ServiceProcess m_service;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QString m_publicKey;
    QString m_error;
};
