#pragma once

#include "archivedownload.h"
#include "feedenclosure.h"
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoupdateversioninfo.h"
#include "serviceurls.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

// What the updater's window shows, kept by the controller so that the window and the
// unattended runs read the same state. A null text leaves the interface's own text.
struct UpdaterPageState {
    QString page;
    QString proposeText;
    QString downloadTitle;
    QString downloadInfo;
    bool barIndeterminate = true;
    bool barAnimated = false;
    double barValue = 0; // 0 to 1000 when determinate
    QString finishTitle;
    QString finishText;
    QString closeButtonTitle;
};

// The updater: finds the installed plug-in, proposes the newer release the feed offers,
// downloads, waits for the host to quit, unpacks, installs, and keeps the decline count
// and time stamp. Everything runs on the main event loop.
class MainController : public QObject, private ArchiveDownloadDelegate {
    Q_OBJECT
public:
    static const QString pagePropose;     // "propose"
    static const QString pageDownload;    // "download and install"
    static const QString pageCloseIPhoto; // "close iphoto"
    static const QString pageThank;       // "thank"

    // How the run has ended so far.
    enum class Outcome {
        Running,       // start-up not done, or a proposal or installation in progress
        CheckFailed,   // host, plug-in or feed not found
        NoUpdate,      // nothing newer in the feed
        Proposed,      // a newer release is proposed
        Installed,     // the new release is in place
        InstallFailed, // the installation was refused or failed; the old build stays
    };

    // `urls` names the service whose versions feed is read.
    explicit MainController(ServiceUrls urls, QObject* parent = nullptr);
    ~MainController() override;

    // Start-up: checks host, plug-in, feed and a newer release in this order and shows
    // either the proposal or the first failure on "thank". Writes nothing.
    void awakeFromNib();

    // --- Actions ---
    // Counts nothing as declined; resets the count, stamps the time, downloads.
    void installUpdate();
    // Counts a decline, then closes.
    void cancelUpdate();
    void closeUpdater();
    // Stops the download and goes back to the proposal.
    void cancelDownload();
    // Continues a downloaded update once the host has quit; does nothing otherwise.
    void tryToContinueInstallation();
    // Downloads from `url` without touching the preferences.
    void downloadFile(const QString& url);
    // The window is closing: stops a download and terminates; no decline is counted.
    void windowWillClose();

    // --- Internal operations, public for the unattended runs and tests ---
    // The host's plug-in folder, or a null string without a host version.
    static QString getPluginPath();
    // "version.build" of the plug-in installed in `pluginPath`, or a null string.
    static QString loadPluginVersionInfo(const QString& pluginPath);
    bool isIPhotoRunning() const;
    bool resetCancelledUpdateCount();
    bool incrementCancelledUpdateCount();
    bool updateUpdaterTimestamp();
    // The folder this run downloads and unpacks into: made fresh for each download,
    // private to the user (0700, an unpredictable name, never one that existed before)
    // and removed when the installation ends either way. Empty while there is none.
    QString workFolder() const;
    static QString applicationFolder();
    // Whether archives are checked against a release key; without OPUpdatePublicKey
    // any archive the feed offers is installed (the start-up says so in the log).
    bool verifiesReleases() const { return !publicKey().trimmed().isEmpty(); }
    // The most a download may bring when the feed announces no length: 512 MiB.
    static constexpr qint64 downloadCeiling = ArchiveDownload::defaultMaxBytes;

    // --- State ---
    const UpdaterPageState& state() const { return m_state; }
    Outcome outcome() const { return m_outcome; }
    QString installedVersion() const { return m_installedVersion; }
    const std::optional<OvPiktoUpdateVersionInfo>& info() const { return m_info; }
    QString pluginPath() const { return m_pluginPath; }
    QString failureReason() const { return m_failureReason; }
    qint64 receivedContentLength() const { return m_receivedContentLength; }
    qint64 expectedContentLength() const { return m_expectedContentLength; }

    // --- Seams ---
    // Whether the host runs; by default a process named "iPhoto" exists.
    void setRunningCheck(std::function<bool()> check) { m_runningCheck = std::move(check); }
    // What terminating the application means; by default quitting the event loop.
    void setTerminate(std::function<void()> terminate) { m_terminate = std::move(terminate); }
    // How long a download may go without progress (30 s); tests shorten it.
    void setDownloadTimeout(int ms) { m_downloadTimeoutMs = ms; }
    // The public key releases must be signed with; by default OPUpdatePublicKey of
    // the updater's own Info.plist.
    void setPublicKey(QString key) { m_publicKey = std::move(key); }
    // The most a download may bring without a length in the feed; tests lower it.
    void setDownloadCeiling(qint64 bytes) { m_downloadCeiling = bytes; }

    // The download delegate, public so tests can feed it progress directly.
    void downloadDidReceiveResponse(qint64 expectedContentLength) override;
    QString downloadDecideDestination(const QString& suggestedFilename) override;
    void downloadDidReceiveDataOfLength(qint64 length) override;
    void downloadDidFinish() override;
    void downloadDidFailWithError(const QString& description) override;

signals:
    // Anything in state() or outcome() changed.
    void stateChanged();
    // The download failed: the window shows an alert with this literal message.
    void downloadFailed(const QString& message);
    // The application is to end.
    void terminateRequested();

private:
    void startDownload(const QString& url);
    void resetControls();
    void installDownloadedUpdate();
    void checkUnpackUpdateStatus(int exitCode, QProcess::ExitStatus status);
    void installUnpackedUpdate();
    // Why the unpacked release must not be installed, or an empty string.
    QString unpackedVersionRefusal() const;
    void removeWorkFolder();
    void failInstallation(const QString& reason);
    void showFinish(const QString& title, const QString& text, Outcome outcome);
    void selectPage(const QString& page);
    void stopDownload();
    static QString text(const QString& key);
    QString publicKey() const;

    UpdaterPageState m_state;
    Outcome m_outcome = Outcome::Running;
    QString m_pluginPath;
    QString m_installedVersion;
    QString m_updateFilename;
    QString m_downloadUrl;
    int m_downloadTimeoutMs = 30000;
    qint64 m_downloadCeiling = downloadCeiling;
    qint64 m_receivedContentLength = 0;
    qint64 m_expectedContentLength = 0;
    QPointer<ArchiveDownload> m_download;
    std::unique_ptr<QProcess> m_unzip;
    std::unique_ptr<QTemporaryDir> m_work;
    std::optional<OvPiktoUpdateVersionInfo> m_info;
    FeedEnclosure m_enclosure;
    QString m_failureReason;
    std::optional<QString> m_publicKey;
    std::function<bool()> m_runningCheck;
    std::function<void()> m_terminate;
    ServiceUrls m_urls;
    std::unique_ptr<OvPiktoExporterCommLayer> m_communicationLayer;
};
