#include "maincontroller.h"

#include "archivecheck.h"
#include "bundle.h"
#include "formattext.h"
#include "leadinginteger.h"
#include "log.h"
#include "paths.h"
#include "preferences.h"
#include "processtable.h"
#include "propertylist.h"
#include "qzutils.h"
#include "updateinstaller.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

const QString MainController::pagePropose = QStringLiteral("propose");
const QString MainController::pageDownload = QStringLiteral("download and install");
const QString MainController::pageCloseIPhoto = QStringLiteral("close iphoto");
const QString MainController::pageThank = QStringLiteral("thank");

namespace {

const QString hostApplication = QStringLiteral("/Applications/iPhoto.app");
const QString cancellationsKey = QStringLiteral("UpdateCancellationsCount");
const QString timestampKey = QStringLiteral("LastUpdateTimestamp");

// The file's text; a null string only when it cannot be read (an empty file is "").
QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

MainController::MainController(ServiceUrls urls, QObject* parent)
    : QObject(parent),
      m_runningCheck([] { return ProcessTable::isRunning(QStringLiteral("iPhoto")); }),
      m_terminate([this] {
          emit terminateRequested();
          QCoreApplication::quit();
      }),
      m_urls(std::move(urls)) {}

MainController::~MainController() {
    stopDownload();
    if (m_unzip) {
        m_unzip->disconnect(this);
        m_unzip->kill();
        m_unzip->waitForFinished(1000);
    }
    removeWorkFolder();
}

QString MainController::text(const QString& key) {
    const QString value = QZUtils::infoValueForKeyInMainBundle(key);
    // A bundle without the text still says something a person can report.
    return value.isNull() ? key : value;
}

QString MainController::workFolder() const {
    return m_work ? m_work->path() : QString();
}

void MainController::removeWorkFolder() {
    // QTemporaryDir removes the whole tree, archive and unpacked folders alike.
    m_work.reset();
}

QString MainController::applicationFolder() {
    return Paths::resolve(QStringLiteral("/Applications/Оврана.Пикто"));
}

void MainController::selectPage(const QString& page) {
    m_state.page = page;
}

void MainController::showFinish(const QString& title, const QString& finishText, Outcome outcome) {
    selectPage(pageThank);
    m_state.finishTitle = title;
    m_state.finishText = finishText;
    m_outcome = outcome;
    emit stateChanged();
}

void MainController::awakeFromNib() {
    m_communicationLayer = std::make_unique<OvPiktoExporterCommLayer>(m_urls);
    selectPage(pagePropose);

    m_pluginPath = getPluginPath();
    if (m_pluginPath.isNull())
        return showFinish(text(QStringLiteral("OPUIPhotoNotFoundTitle")),
                          text(QStringLiteral("OPUIPhotoNotFound")), Outcome::CheckFailed);
    m_installedVersion = loadPluginVersionInfo(m_pluginPath);
    if (m_installedVersion.isNull())
        return showFinish(text(QStringLiteral("OPUInfo")),
                          text(QStringLiteral("OPUIPiktoPluginNotFound")), Outcome::CheckFailed);
    const std::optional<QByteArray> feed = m_communicationLayer->fetchVersionsData();
    if (!feed) {
        // A server that answered too much is not an unavailable one: say what happened.
        const RequestOutcome& last = m_communicationLayer->lastRequest();
        Log::write(QStringLiteral("awakeFromNib: %1").arg(last.text()));
        const bool answered = last.kind == RequestOutcome::Kind::TooLarge ||
                              last.kind == RequestOutcome::Kind::TooDeep;
        return showFinish(text(QStringLiteral("OPUIPhotoNotFoundTitle")),
                          answered ? last.text()
                                   : text(QStringLiteral("OPUUpdateServerNotAvailable")),
                          Outcome::CheckFailed);
    }
    m_info = m_communicationLayer->fetchUpdatedVersionInfo(m_installedVersion, *feed);
    if (!m_info)
        return showFinish(text(QStringLiteral("OPUInfo")),
                          QStringLiteral("%1 — %2").arg(
                              text(QStringLiteral("OPNoUpdatesAvailable")), m_installedVersion),
                          Outcome::NoUpdate);
    m_enclosure = FeedEnclosure::find(*feed, m_info->url()).value_or(FeedEnclosure());
    if (!verifiesReleases())
        Log::write(QStringLiteral("awakeFromNib: releases are not verified: no release key is set "
                                  "(OPUpdatePublicKey)"));
    m_state.proposeText = FormatText::fill(text(QStringLiteral("OPUpdateProposal")),
                                           {m_info->version(), m_installedVersion});
    m_outcome = Outcome::Proposed;
    emit stateChanged();
}

QString MainController::getPluginPath() {
    const auto info = PropertyList::readDictionary(Paths::resolve(hostApplication) +
                                                   QStringLiteral("/Contents/Info.plist"));
    if (!info)
        return {};
    const QString version = info->value(QStringLiteral("CFBundleVersion")).toString();
    if (version.isEmpty())
        return {};
    const int major = leadingInteger(version.section(QLatin1Char('.'), 0, 0));
    if (major > 6)
        return Paths::resolve(QStringLiteral("/Library/Application Support/iPhoto/Plugins"));
    return Paths::resolve(QStringLiteral("/Applications/iPhoto.app/Contents/PlugIns"));
}

QString MainController::loadPluginVersionInfo(const QString& pluginPath) {
    const QString resources =
        pluginPath + QStringLiteral("/Ov.Pikto.Export.iPhotoExporter/Contents/Resources/");
    const QString version = readText(resources + QStringLiteral("version.txt"));
    const QString build = readText(resources + QStringLiteral("build.txt"));
    if (version.isNull() || build.isNull())
        return {};
    return QStringLiteral("%1.%2").arg(QZUtils::trimString(version), QZUtils::trimString(build));
}

bool MainController::isIPhotoRunning() const {
    return m_runningCheck();
}

bool MainController::resetCancelledUpdateCount() {
    return Preferences().setValue(cancellationsKey, qint64(0));
}

bool MainController::incrementCancelledUpdateCount() {
    Preferences preferences;
    const qint64 count = preferences.value(cancellationsKey).toLongLong();
    return preferences.setValue(cancellationsKey, count + 1);
}

bool MainController::updateUpdaterTimestamp() {
    return Preferences().setValue(timestampKey, QDateTime::currentDateTimeUtc());
}

void MainController::installUpdate() {
    if (!m_info || m_state.page != pagePropose)
        return;
    const bool countWritten = resetCancelledUpdateCount();
    const bool stampWritten = updateUpdaterTimestamp();
    if (!countWritten || !stampWritten)
        Log::write(
            QStringLiteral("installUpdate: cannot write %1").arg(Preferences::defaultPath()));
    selectPage(pageDownload);
    startDownload(m_info->url());
}

void MainController::downloadFile(const QString& url) {
    startDownload(url);
}

void MainController::startDownload(const QString& url) {
    stopDownload();
    m_receivedContentLength = 0;
    m_expectedContentLength = 0;
    m_outcome = Outcome::Running;
    m_downloadUrl = url;
    removeWorkFolder();
    // The feed's length is the most that may arrive; without one, a fixed ceiling.
    qint64 limit = m_downloadCeiling;
    if (m_info && url == m_info->url() && !m_enclosure.length.isNull()) {
        bool ok = false;
        const qint64 announced = m_enclosure.length.trimmed().toLongLong(&ok);
        if (ok && announced >= 0)
            limit = qMin(announced, m_downloadCeiling);
    }
    m_download = new ArchiveDownload(url, m_downloadTimeoutMs, *this, this, limit);
    resetControls();
    m_state.barAnimated = true;
    emit stateChanged();
    m_download->start();
}

void MainController::stopDownload() {
    if (m_download) {
        m_download->cancel();
        m_download->deleteLater();
        m_download = nullptr;
    }
}

void MainController::resetControls() {
    m_state.barIndeterminate = true;
    m_state.barAnimated = false;
    m_state.barValue = 0;
    m_state.downloadInfo = QStringLiteral("установка соединения...");
}

void MainController::downloadDidReceiveResponse(qint64 expectedContentLength) {
    m_expectedContentLength = expectedContentLength;
    if (m_expectedContentLength > 0) {
        m_state.barIndeterminate = false;
        m_state.barValue = 0;
    }
    emit stateChanged();
}

QString MainController::downloadDecideDestination(const QString& suggestedFilename) {
    // A fresh folder of our own: mkdtemp's unpredictable name and 0700, so no other user
    // can have made it first or swap the archive between the check and the unpacking.
    removeWorkFolder();
    auto work = std::make_unique<QTemporaryDir>(Paths::tempDir() +
                                                QStringLiteral("Ovrana.Pikto.Update-XXXXXX"));
    if (!work->isValid()) {
        Log::write(QStringLiteral("download:decideDestination: cannot create a work folder: %1")
                       .arg(work->errorString()));
        return {};
    }
    m_work = std::move(work);
    m_updateFilename = suggestedFilename;
    return workFolder() + QLatin1Char('/') + m_updateFilename;
}

void MainController::downloadDidReceiveDataOfLength(qint64 length) {
    if (m_expectedContentLength <= 0)
        return;
    m_receivedContentLength += length;
    const float divisor = float(double(m_expectedContentLength) / 1000.0);
    m_state.barValue = double(m_receivedContentLength) / divisor;
    m_state.downloadInfo = QStringLiteral("скачано: %1 Кб из %2 Кб")
                               .arg(m_receivedContentLength / 1024)
                               .arg(m_expectedContentLength / 1024);
    emit stateChanged();
}

QString MainController::publicKey() const {
    if (m_publicKey)
        return *m_publicKey;
    const std::optional<Bundle> own = Bundle::mainBundle();
    return own ? own->infoDictionary().value(QStringLiteral("OPUpdatePublicKey")).toString()
               : QString();
}

void MainController::downloadDidFinish() {
    stopDownload();
    resetControls();
    // The feed vouches only for the address it names; any other has no length, checksum
    // or signature, so with a key set it is refused.
    const FeedEnclosure enclosure =
        m_info && m_downloadUrl == m_info->url() ? m_enclosure : FeedEnclosure();
    const QString refusal = ArchiveCheck::verify(workFolder() + QLatin1Char('/') + m_updateFilename,
                                                 enclosure, publicKey());
    if (!refusal.isEmpty())
        return failInstallation(refusal);
    if (isIPhotoRunning()) {
        selectPage(pageCloseIPhoto);
        emit stateChanged();
        return;
    }
    installDownloadedUpdate();
}

void MainController::downloadDidFailWithError(const QString& description) {
    stopDownload();
    resetControls();
    emit stateChanged();
    removeWorkFolder();
    Log::write(QStringLiteral("download:didFailWithError: %1").arg(description));
    emit downloadFailed(description.isEmpty() ? QStringLiteral("An error occured during download.")
                                              : description);
}

void MainController::cancelDownload() {
    if (m_state.page != pageDownload || m_unzip)
        return;
    stopDownload();
    removeWorkFolder();
    m_state.downloadInfo = QStringLiteral("отмена...");
    selectPage(pagePropose);
    m_state.barAnimated = false;
    m_state.barIndeterminate = false;
    m_outcome = m_info ? Outcome::Proposed : Outcome::Running;
    emit stateChanged();
}

void MainController::tryToContinueInstallation() {
    // Only a downloaded archive waits here; pressing again while it unpacks is ignored.
    if (m_state.page != pageCloseIPhoto || isIPhotoRunning())
        return;
    selectPage(pageDownload);
    installDownloadedUpdate();
}

void MainController::installDownloadedUpdate() {
    m_state.barIndeterminate = true;
    m_state.barAnimated = true;
    m_state.downloadInfo = text(QStringLiteral("OPUInstalationPleaseWait"));
    m_state.downloadTitle = text(QStringLiteral("OPUInstalationTitle"));
    emit stateChanged();

    const QString archive = workFolder() + QLatin1Char('/') + m_updateFilename;
    if (const QString refusal = ArchiveCheck::checkEntries(archive); !refusal.isEmpty())
        return failInstallation(refusal);

    m_unzip = std::make_unique<QProcess>();
    m_unzip->setProgram(QStringLiteral("/usr/bin/unzip"));
    // No text conversion (-a would rewrite line ends): the bytes unpacked are the bytes
    // that were verified. -qq keeps the merged output to what went wrong.
    m_unzip->setArguments({QStringLiteral("-qq"), m_updateFilename});
    m_unzip->setWorkingDirectory(workFolder());
    // unzip never waits for an answer: a question it would ask reads end of input.
    m_unzip->setStandardInputFile(QProcess::nullDevice());
    m_unzip->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_unzip.get(), &QProcess::finished, this, &MainController::checkUnpackUpdateStatus);
    connect(m_unzip.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            checkUnpackUpdateStatus(-1, QProcess::CrashExit);
    });
    m_unzip->start();
}

void MainController::checkUnpackUpdateStatus(int exitCode, QProcess::ExitStatus status) {
    if (!m_unzip)
        return;
    const QByteArray output = m_unzip->readAll();
    const QString error = m_unzip->errorString();
    // Dropped on the event loop: this runs inside the process object's own signal.
    m_unzip.release()->deleteLater();
    if (status != QProcess::NormalExit || exitCode != 0) {
        Log::write(
            QStringLiteral("checkUnpackUpdateStatus: %1").arg(QString::fromLocal8Bit(output)));
        return failInstallation(status == QProcess::NormalExit
                                    ? QStringLiteral("unzip exited with status %1").arg(exitCode)
                                    : QStringLiteral("unzip did not run: %1").arg(error));
    }
    installUnpackedUpdate();
}

QString MainController::unpackedVersionRefusal() const {
    // The signature vouches for the archive, not for the feed's version: an older signed
    // release offered under a newer number must not replace what is installed.
    const QString unpacked = loadPluginVersionInfo(workFolder());
    if (unpacked.isNull())
        return QStringLiteral("the archive's plug-in carries no version");
    if (!m_info)
        return QStringLiteral("no feed entry names the version to install");
    if (OvPiktoExporterCommLayer::compareBuildVersionA(unpacked, m_info->version()) != 0)
        return QStringLiteral("the archive holds version %1, the feed offers %2")
            .arg(unpacked, m_info->version());
    const QString installed = loadPluginVersionInfo(m_pluginPath);
    if (!installed.isNull() &&
        OvPiktoExporterCommLayer::compareBuildVersionA(installed, unpacked) != -1)
        return QStringLiteral("the archive's version %1 is not newer than the installed %2")
            .arg(unpacked, installed);
    return {};
}

void MainController::installUnpackedUpdate() {
    // Read before the installation replaces the bundle these texts come from.
    const QString title = text(QStringLiteral("OPUUpdateSuccessful"));
    const QString reminder = text(QStringLiteral("OPUPleaseRestartReminder"));
    if (const QString refusal = unpackedVersionRefusal(); !refusal.isEmpty())
        return failInstallation(refusal);
    UpdateInstaller installer;
    const QString reason = installer.install(workFolder(), m_pluginPath, applicationFolder());
    if (!reason.isEmpty())
        return failInstallation(reason);
    removeWorkFolder();
    m_state.closeButtonTitle = QStringLiteral("Закрыть");
    m_state.barAnimated = false;
    showFinish(title, reminder, Outcome::Installed);
}

void MainController::failInstallation(const QString& reason) {
    m_failureReason = reason;
    removeWorkFolder();
    Log::write(QStringLiteral("installUpdate: the update was not installed: %1").arg(reason));
    m_state.closeButtonTitle = QStringLiteral("Закрыть");
    m_state.barAnimated = false;
    showFinish(text(QStringLiteral("OPUUpdateFailedTitle")),
               text(QStringLiteral("OPUUpdateFailed")), Outcome::InstallFailed);
}

void MainController::cancelUpdate() {
    if (!incrementCancelledUpdateCount())
        Log::write(QStringLiteral("cancelUpdate: cannot write %1").arg(Preferences::defaultPath()));
    closeUpdater();
}

void MainController::closeUpdater() {
    m_terminate();
}

void MainController::windowWillClose() {
    stopDownload();
    m_terminate();
}
