// The updater's controller against a temporary installation and pikto-service.
#include "controllerfixture.h"
#include "loopbackresponder.h"
#include "preferences.h"
#include "qstringprinter.h"
#include "qzutils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString ru(const char* key) {
    return QZUtils::infoValueForKeyInMainBundle(QString::fromLatin1(key));
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class UpdaterControllerTest : public ControllerFixture {
protected:
    void SetUp() override { ASSERT_TRUE(root.isValid()); }

    // Publishes 1.3.0 on the service.
    void publishRelease() {
        ASSERT_TRUE(root.startService()) << root.service().lastError().toStdString();
        ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"),
                                 UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes()));
    }

    MainController& controller() { return driver().controller; }
};

TEST_F(UpdaterControllerTest, HostVersionChoosesThePluginFolder) {
    ASSERT_TRUE(root.setHostVersion(QStringLiteral("9.4.2")));
    EXPECT_EQ(MainController::getPluginPath(),
              root.root() + QStringLiteral("/Library/Application Support/iPhoto/Plugins"));
    ASSERT_TRUE(root.setHostVersion(QStringLiteral("6.0.6")));
    EXPECT_EQ(MainController::getPluginPath(),
              root.root() + QStringLiteral("/Applications/iPhoto.app/Contents/PlugIns"));
    ASSERT_TRUE(root.setHostVersion(QString()));
    EXPECT_TRUE(MainController::getPluginPath().isNull());
}

TEST_F(UpdaterControllerTest, VersionFilesAreTrimmedAndJoined) {
    ASSERT_TRUE(root.installPlugin("1.2\n", " 345 "));
    EXPECT_EQ(MainController::loadPluginVersionInfo(root.pluginFolder()),
              QStringLiteral("1.2.345"));
}

TEST_F(UpdaterControllerTest, MissingBuildFileShowsThePluginIsNotFound) {
    ASSERT_TRUE(root.installPlugin("1.2\n", QByteArray()));
    controller().awakeFromNib();
    EXPECT_EQ(controller().state().page, MainController::pageThank);
    EXPECT_EQ(controller().state().finishTitle, ru("OPUInfo"));
    EXPECT_EQ(controller().state().finishText, ru("OPUIPiktoPluginNotFound"));
    EXPECT_EQ(controller().outcome(), MainController::Outcome::CheckFailed);
    EXPECT_FALSE(QFile::exists(root.preferencesPath()));
}

TEST_F(UpdaterControllerTest, MissingHostShowsIPhotoIsNotFound) {
    ASSERT_TRUE(QFile::remove(root.root() +
                              QStringLiteral("/Applications/iPhoto.app/Contents/Info.plist")));
    controller().awakeFromNib();
    EXPECT_EQ(controller().state().finishTitle, ru("OPUIPhotoNotFoundTitle"));
    EXPECT_EQ(controller().state().finishText, ru("OPUIPhotoNotFound"));
}

TEST_F(UpdaterControllerTest, UnreachableFeedShowsTheServerIsNotAvailable) {
    controller().awakeFromNib(); // the root's service address has no listener
    EXPECT_EQ(controller().state().page, MainController::pageThank);
    EXPECT_EQ(controller().state().finishTitle, ru("OPUIPhotoNotFoundTitle"));
    EXPECT_EQ(controller().state().finishText, ru("OPUUpdateServerNotAvailable"));
}

// A feed over the client's 1 MiB cap reached the server: the page names the size, not an
// unavailable server.
TEST_F(UpdaterControllerTest, AFeedOverTheCapIsNamedAsTooLarge) {
    LoopbackResponder responder("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<rss>" +
                                QByteArray(1024 * 1024 + 1, ' ') + "</rss>");
    MainController controller(ServiceUrls(responder.origin()));
    controller.awakeFromNib();
    EXPECT_EQ(controller.outcome(), MainController::Outcome::CheckFailed);
    EXPECT_EQ(controller.state().finishText,
              QStringLiteral("the answer of the feed is larger than 1 MiB"));
}

TEST_F(UpdaterControllerTest, NothingNewerSaysSoWithTheInstalledVersion) {
    ASSERT_TRUE(root.startService());
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.2.0.zip"), "same"));
    controller().awakeFromNib();
    EXPECT_EQ(controller().state().finishTitle, ru("OPUInfo"));
    EXPECT_EQ(controller().state().finishText,
              ru("OPNoUpdatesAvailable") + QStringLiteral(" — 1.2.0"));
    EXPECT_EQ(controller().outcome(), MainController::Outcome::NoUpdate);
}

TEST_F(UpdaterControllerTest, NewerReleaseIsProposedWithBothVersions) {
    publishRelease();
    controller().awakeFromNib();
    EXPECT_EQ(controller().state().page, MainController::pagePropose);
    EXPECT_EQ(controller().outcome(), MainController::Outcome::Proposed);
    const QString text = controller().state().proposeText;
    EXPECT_LT(text.indexOf(QStringLiteral("1.3.0")), text.indexOf(QStringLiteral("1.2.0")))
        << text.toStdString();
    EXPECT_GE(text.indexOf(QStringLiteral("1.3.0")), 0);
}

TEST_F(UpdaterControllerTest, ProgressRunsFromZeroToAThousand) {
    controller().downloadDidReceiveResponse(3072000);
    EXPECT_FALSE(controller().state().barIndeterminate);
    controller().downloadDidReceiveDataOfLength(1024000);
    controller().downloadDidReceiveDataOfLength(512000);
    EXPECT_DOUBLE_EQ(controller().state().barValue, 500.0);
    EXPECT_EQ(controller().state().downloadInfo, QStringLiteral("скачано: 1500 Кб из 3000 Кб"));
}

TEST_F(UpdaterControllerTest, WithoutALengthTheBarStaysIndeterminateAndTheTextUnchanged) {
    publishRelease();
    controller().awakeFromNib();
    const QByteArray archive = UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes();
    LoopbackResponder responder("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + archive);
    const QString pleaseWait = ru("OPUInstalationPleaseWait");
    driver().states.clear();
    controller().downloadFile(responder.origin() + QStringLiteral("/OvPikto_1.3.0.zip"));
    ASSERT_TRUE(driver().waitForEnd());
    ASSERT_EQ(controller().outcome(), MainController::Outcome::Installed)
        << controller().failureReason().toStdString();
    EXPECT_EQ(controller().expectedContentLength(), -1);
    // Every state until the unpacking started kept the busy bar and the first line.
    int downloading = 0;
    for (const UpdaterPageState& state : driver().states) {
        if (state.downloadInfo == pleaseWait)
            break;
        ++downloading;
        EXPECT_TRUE(state.barIndeterminate);
        EXPECT_EQ(state.downloadInfo, QStringLiteral("установка соединения..."));
    }
    EXPECT_GT(downloading, 0);
}

TEST_F(UpdaterControllerTest, TwoDeclinesCountTwoAndKeepTheStampAndOtherKeys) {
    publishRelease();
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    Preferences preferences(root.preferencesPath());
    ASSERT_TRUE(preferences.setValues({{QStringLiteral("UpdateCancellationsCount"), qint64(0)},
                                       {QStringLiteral("LastUpdateTimestamp"), stamp},
                                       {QStringLiteral("Login"), QStringLiteral("demo")}}));
    for (int run = 0; run < 2; ++run) {
        ControllerDriver another(root.urls());
        another.controller.awakeFromNib();
        ASSERT_EQ(another.controller.state().page, MainController::pagePropose);
        another.controller.cancelUpdate();
        EXPECT_EQ(another.terminations, 1);
    }
    EXPECT_EQ(preferences.value(QStringLiteral("UpdateCancellationsCount")).toLongLong(), 2);
    EXPECT_EQ(preferences.value(QStringLiteral("LastUpdateTimestamp")).toDateTime(), stamp);
    EXPECT_EQ(preferences.value(QStringLiteral("Login")).toString(), QStringLiteral("demo"));
}

TEST_F(UpdaterControllerTest, AcceptingResetsTheCountAndStampsTheTimeEvenWhenTheDownloadFails) {
    ASSERT_TRUE(root.startService());
    // The feed offers an archive the service does not have.
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"), "x", {},
                             root.archiveUrl(QStringLiteral("OvPikto_9.9.9.zip"))));
    Preferences preferences(root.preferencesPath());
    ASSERT_TRUE(preferences.setValues({{QStringLiteral("UpdateCancellationsCount"), qint64(3)},
                                       {QStringLiteral("LastUpdateTimestamp"),
                                        QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC)}}));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    controller().awakeFromNib();
    controller().installUpdate();
    EXPECT_EQ(controller().state().page, MainController::pageDownload);
    ASSERT_TRUE(driver().waitForEnd());
    ASSERT_EQ(driver().failureAlerts.size(), 1);
    EXPECT_FALSE(driver().failureAlerts.first().isEmpty());
    EXPECT_EQ(controller().state().page, MainController::pageDownload);
    EXPECT_EQ(preferences.value(QStringLiteral("UpdateCancellationsCount")).toLongLong(), 0);
    const QDateTime stamped = preferences.value(QStringLiteral("LastUpdateTimestamp")).toDateTime();
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, QDateTime::currentDateTimeUtc().addSecs(1));
    // The user can go back to the proposal and accept again.
    controller().cancelDownload();
    EXPECT_EQ(controller().state().page, MainController::pagePropose);
    EXPECT_EQ(controller().state().downloadInfo, QStringLiteral("отмена..."));
}

TEST_F(UpdaterControllerTest, ADownloadWithoutProgressFailsAfterTheTimeOut) {
    LoopbackResponder silent{QByteArray()}; // takes the request, never answers
    ASSERT_TRUE(root.startService());
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"), "unused", {},
                             silent.origin() + QStringLiteral("/OvPikto_1.3.0.zip")));
    controller().setDownloadTimeout(200);
    controller().awakeFromNib();
    controller().installUpdate();
    ASSERT_TRUE(driver().waitForEnd(5000));
    ASSERT_EQ(driver().failureAlerts.size(), 1);
    EXPECT_EQ(driver().failureAlerts.first(), QStringLiteral("The server did not answer in time."));
    EXPECT_EQ(controller().state().page, MainController::pageDownload);
}

TEST_F(UpdaterControllerTest, WhileTheHostRunsContinueDoesNothingUntilItHasQuit) {
    publishRelease();
    driver().hostRunning = true;
    controller().awakeFromNib();
    controller().installUpdate();
    ASSERT_TRUE(driver().waitForPage(MainController::pageCloseIPhoto));
    controller().tryToContinueInstallation();
    EXPECT_EQ(controller().state().page, MainController::pageCloseIPhoto);
    EXPECT_EQ(MainController::loadPluginVersionInfo(root.pluginFolder()), QStringLiteral("1.2.0"));

    driver().hostRunning = false;
    controller().tryToContinueInstallation();
    EXPECT_EQ(controller().state().page, MainController::pageDownload);
    ASSERT_TRUE(driver().waitForEnd());
    EXPECT_EQ(controller().outcome(), MainController::Outcome::Installed)
        << controller().failureReason().toStdString();
    EXPECT_EQ(MainController::loadPluginVersionInfo(root.pluginFolder()), QStringLiteral("1.3.0"));
}

TEST_F(UpdaterControllerTest, InstallsBothFoldersAndShowsTheSuccessPage) {
    ASSERT_TRUE(root.setHostVersion(QStringLiteral("6.0.6")));
    ASSERT_TRUE(root.installPlugin("1.2\n", "0\n"));
    publishRelease();
    // The texts of the updater that runs, not of the one that replaces it.
    const QString title = ru("OPUUpdateSuccessful");
    const QString reminder = ru("OPUPleaseRestartReminder");
    ASSERT_FALSE(title.isEmpty());
    controller().awakeFromNib();
    controller().installUpdate();
    ASSERT_TRUE(driver().waitForEnd());
    ASSERT_EQ(controller().outcome(), MainController::Outcome::Installed)
        << controller().failureReason().toStdString();
    EXPECT_EQ(controller().state().page, MainController::pageThank);
    EXPECT_EQ(controller().state().finishTitle, title);
    EXPECT_EQ(controller().state().finishText, reminder);
    EXPECT_EQ(controller().state().closeButtonTitle, QStringLiteral("Закрыть"));
    EXPECT_EQ(readAll(root.pluginBundle() + QStringLiteral("/Contents/MacOS/OvPiktoExporter")),
              "new plug-in 1.3.0");
    EXPECT_EQ(readAll(root.updaterApp() + QStringLiteral("/Contents/MacOS/OvPiktoUpdater")),
              "new updater 1.3.0");
    // Nothing is left beside the installed folders.
    for (const QString& folder :
         {root.pluginFolder(), root.root() + QStringLiteral("/Applications")}) {
        const QStringList hidden =
            QDir(folder)
                .entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot)
                .filter(QRegularExpression(QStringLiteral("^\\.")));
        EXPECT_TRUE(hidden.isEmpty()) << hidden.join(' ').toStdString();
    }
}

} // namespace
