#pragma once

#include "serviceprocess.h"
#include "serviceurls.h"
#include "zipwriter.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A temporary installation for the updater's tests: ROOT with a host and an installed
// plug-in and updater, HOME and TMPDIR beside it, and pikto-service serving the
// versions feed and release archives from a folder. Points the process environment
// at all of it while it lives and restores the environment afterwards.
class UpdaterRoot {
public:
    explicit UpdaterRoot(const QString& hostVersion = QStringLiteral("9.4.2"));
    ~UpdaterRoot();
    UpdaterRoot(const UpdaterRoot&) = delete;
    UpdaterRoot& operator=(const UpdaterRoot&) = delete;

    bool isValid() const { return m_valid; }

    QString root() const { return m_root; }
    QString home() const { return m_home; }
    QString tmp() const { return m_tmp; }
    QString releases() const { return m_releases; }
    QString pluginFolder() const;
    QString pluginBundle() const;
    QString applicationFolder() const;
    QString updaterApp() const;
    QString preferencesPath() const;

    // Rewrites the host's Info.plist with `version` (empty: no CFBundleVersion).
    bool setHostVersion(const QString& version);
    // Installs the plug-in with these version files (a null build: no build.txt).
    bool installPlugin(const QByteArray& version, const QByteArray& build);
    // Writes OPUpdatePublicKey into the installed updater's Info.plist.
    bool setPublicKey(const QString& base64);

    // Starts the service on the releases folder and points OVPIKTO_SERVICE_URL at it
    // (for the programs tests start).
    bool startService();
    ServiceProcess& service() { return *m_service; }
    // The service's addresses (a closed port before startService()).
    ServiceUrls urls() const;
    // Where the service serves archive `name`.
    QString archiveUrl(const QString& name) const;

    // A release archive for `version` ("1.3.0"): the plug-in bundle with version.txt
    // "1.3" and build.txt "0", and the updater's folder. Add entries before bytes().
    static ZipWriter releaseArchive(const QString& version, bool withUpdater = true);
    // Stores `archive` as `name` in the releases folder and writes a feed whose one
    // item offers it at archiveUrl(name) (or `url` when given), with `attributes`
    // added to the enclosure verbatim (e.g. " length=\"12\"").
    bool publish(const QString& name, const QByteArray& archive, const QString& attributes = {},
                 const QString& url = {});

    // Every file and folder under ROOT, by relative path: file bytes, or "<dir>".
    QMap<QString, QByteArray> snapshot() const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
    QString m_root;
    QString m_home;
    QString m_tmp;
    QString m_releases;
    QString m_hostVersion;
    std::unique_ptr<ServiceProcess> m_service;
    QMap<QByteArray, std::optional<QByteArray>> m_savedEnvironment;
};
