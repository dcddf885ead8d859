// The host with the plug-in installed under a temporary root, as a user meets them.
#include "exportdialog.h"
#include "hostfixture.h"
#include "hostinstallation.h"
#include "hostwindow.h"
#include "tickwait.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(HostTest, ShowsThePluginPageWithThreePhotosSelected) {
    HostFixture fixture;
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();

    EXPECT_TRUE(fixture.host().pluginErrors().isEmpty());
    EXPECT_EQ(fixture.host().exportManager().imageCount(), 3u);
    EXPECT_EQ(fixture.host().statusLabel()->text(), QStringLiteral("3 of 3 photos selected"));
    ASSERT_EQ(fixture.dialog().tabs()->count(), 1);
    EXPECT_EQ(fixture.dialog().tabs()->tabText(0), QStringLiteral("Ovrana.Pikto Exporter"));
    EXPECT_EQ(fixture.dialog().tabs()->currentWidget(), fixture.page());

    auto* tabs = fixture.widget<QStackedWidget>("mainTabView");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentIndex(), 0);
    auto* login = fixture.widget<QLineEdit>("loginText");
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(login->isVisible());
    EXPECT_TRUE(login->isEnabled());
    EXPECT_EQ(fixture.plugin()->firstView(), login);
    EXPECT_EQ(fixture.widget<QLabel>("versionInfo")->text(), QStringLiteral("Версия: 1.2.0"));

    const QString shot = fixture.screenshot(QStringLiteral("host-export-signin"));
    ASSERT_FALSE(shot.isEmpty());
    const QImage image(shot);
    EXPECT_GE(image.width(), fixture.page()->width());
}

TEST(HostTest, EveryHostVersionFindsThePluginAndItsVersion) {
    for (const QString& version :
         {QStringLiteral("6.0.6"), QStringLiteral("7.1.5"), QStringLiteral("9.4.2")}) {
        SCOPED_TRACE(version.toStdString());
        HostFixture fixture({.photoCount = 1, .hostVersion = version});
        ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
        const QString expectedFolder =
            version.startsWith(QLatin1Char('6'))
                ? fixture.root() + QStringLiteral("/Applications/iPhoto.app/Contents/PlugIns")
                : fixture.root() + QStringLiteral("/Library/Application Support/iPhoto/Plugins");
        EXPECT_EQ(fixture.installedPluginPath(),
                  expectedFolder + QStringLiteral("/Ov.Pikto.Export.iPhotoExporter"));
        ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
        EXPECT_EQ(fixture.host().version(), version);
        EXPECT_EQ(QDir(fixture.host().pluginFolder()).canonicalPath(),
                  QDir(expectedFolder).canonicalPath());
        EXPECT_EQ(fixture.widget<QLabel>("versionInfo")->text(), QStringLiteral("Версия: 1.2.0"));
    }
}

TEST(HostTest, PluginFolderFollowsTheIntegerMajorVersion) {
    const QString app = QStringLiteral("/r/Applications/iPhoto.app");
    EXPECT_EQ(HostInstallation::pluginFolder(QStringLiteral("6.0.6"), app),
              app + QStringLiteral("/Contents/PlugIns"));
    EXPECT_EQ(HostInstallation::pluginFolder(QStringLiteral("5"), app),
              app + QStringLiteral("/Contents/PlugIns"));
    for (const char* newer : {"7.1.5", "8.1", "9.4.2", "10.0", "11"})
        EXPECT_TRUE(HostInstallation::pluginFolder(QString::fromLatin1(newer), app)
                        ->endsWith(QStringLiteral("/Library/Application Support/iPhoto/Plugins")))
            << newer;
    EXPECT_FALSE(HostInstallation::pluginFolder(QStringLiteral(""), app));
    EXPECT_FALSE(HostInstallation::pluginFolder(QStringLiteral("beta"), app));
    EXPECT_EQ(HostInstallation::majorVersion(QStringLiteral("10.2")), 10);
}

TEST(HostTest, ABundleWithoutItsModuleIsSkippedWithAMessage) {
    HostFixture fixture({.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    // A second bundle whose Info.plist names a module that is not there.
    const QString broken = QFileInfo(fixture.installedPluginPath()).path() +
                           QStringLiteral("/Broken.iPhotoExporter/Contents");
    ASSERT_TRUE(QDir().mkpath(broken + QStringLiteral("/MacOS")));
    QFile plist(broken + QStringLiteral("/Info.plist"));
    ASSERT_TRUE(plist.open(QIODevice::WriteOnly));
    plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>CFBundleExecutable</key><string>Missing</string></dict></plist>\n");
    plist.close();

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    ASSERT_EQ(fixture.host().pluginErrors().size(), 1);
    const QString message = fixture.host().pluginErrors().first();
    EXPECT_TRUE(message.contains(QStringLiteral("Broken.iPhotoExporter"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Contents/MacOS/Missing")))
        << message.toStdString();
    // The good plug-in still loads and the host keeps running.
    EXPECT_EQ(fixture.dialog().pluginCount(), 1);
    EXPECT_TRUE(fixture.host().isVisible());
}

TEST(HostTest, AModuleOutsideTheBundleIsNotLoaded) {
    HostFixture fixture({.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    // A bundle that points at the real plug-in's module through a relative path.
    const QString stray = QFileInfo(fixture.installedPluginPath()).path() +
                          QStringLiteral("/Stray.iPhotoExporter/Contents");
    ASSERT_TRUE(QDir().mkpath(stray + QStringLiteral("/MacOS")));
    QFile plist(stray + QStringLiteral("/Info.plist"));
    ASSERT_TRUE(plist.open(QIODevice::WriteOnly));
    plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>CFBundleExecutable</key><string>../../../Ov.Pikto.Export.iPhotoExporter/"
                "Contents/MacOS/OvPiktoExporter</string></dict></plist>\n");
    plist.close();

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    ASSERT_EQ(fixture.host().pluginErrors().size(), 1);
    EXPECT_TRUE(fixture.host().pluginErrors().first().contains(QStringLiteral("not a file name")));
    EXPECT_EQ(fixture.dialog().pluginCount(), 1);
}

TEST(HostTest, AModuleThatIsNotAPluginIsSkipped) {
    HostFixture fixture({.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    const QString bogus = QFileInfo(fixture.installedPluginPath()).path() +
                          QStringLiteral("/Bogus.iPhotoExporter/Contents");
    ASSERT_TRUE(QDir().mkpath(bogus + QStringLiteral("/MacOS")));
    QFile module(bogus + QStringLiteral("/MacOS/Bogus"));
    ASSERT_TRUE(module.open(QIODevice::WriteOnly));
    module.write("not a shared object");
    module.close();
    QFile plist(bogus + QStringLiteral("/Info.plist"));
    ASSERT_TRUE(plist.open(QIODevice::WriteOnly));
    plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>CFBundleExecutable</key><string>Bogus</string></dict></plist>\n");
    plist.close();

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    ASSERT_EQ(fixture.host().pluginErrors().size(), 1);
    EXPECT_TRUE(fixture.host().pluginErrors().first().contains(QStringLiteral("Bogus")));
    EXPECT_EQ(fixture.dialog().pluginCount(), 1);
}

TEST(HostTest, WithoutPluginsTheDialogHasNoTabs) {
    HostFixture fixture({.photoCount = 1, .installPlugin = false});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.createHost());
    EXPECT_EQ(fixture.plugin(), nullptr);
    EXPECT_TRUE(fixture.host().pluginErrors().isEmpty());
    fixture.host().openExportDialog();
    EXPECT_TRUE(HostFixture::waitFor([&] { return fixture.dialog().isVisible(); }));
    EXPECT_EQ(fixture.dialog().tabs()->count(), 0);
    fixture.dialog().exportButton()->click(); // nothing to export to; no crash
}

TEST(HostTest, RequiredFileTypeFollowsTheSelection) {
    HostFixture fixture({.photoCount = 3, .selectCount = 0});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    ExportPluginProtocol* plugin = fixture.plugin();
    const QStringList photos = fixture.photoPaths();

    EXPECT_EQ(plugin->requiredFileType(), QStringLiteral("jpg"));
    fixture.host().selectPaths(photos.mid(0, 1));
    EXPECT_EQ(fixture.host().exportManager().imageCount(), 1u);
    EXPECT_EQ(plugin->requiredFileType(), QStringLiteral("jpg"));
    fixture.host().selectPaths(photos.mid(0, 2));
    EXPECT_EQ(plugin->requiredFileType(), QStringLiteral(""));
    EXPECT_EQ(fixture.host().exportManager().imagePathAtIndex(1), photos.at(1));
}

TEST(HostTest, CancelAsksThePluginToCancelAndClosesTheDialog) {
    HostFixture fixture({.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    EXPECT_FALSE(fixture.plugin()->progress()->shouldCancel);
    fixture.dialog().cancelButton()->click();
    EXPECT_TRUE(fixture.plugin()->progress()->shouldCancel);
    EXPECT_FALSE(fixture.dialog().isVisible());
}

TEST(HostTest, ProgressRecordIsShownUnderTheLock) {
    HostFixture fixture({.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    ExportPluginProtocol* plugin = fixture.plugin();
    plugin->lockProgress();
    plugin->progress()->message = QStringLiteral("Sending 2 of 5");
    plugin->progress()->currentItem = 2;
    plugin->progress()->totalItems = 5;
    plugin->unlockProgress();
    fixture.dialog().showProgress();
    EXPECT_EQ(fixture.dialog().progressLabel()->text(), QStringLiteral("Sending 2 of 5"));
    EXPECT_EQ(fixture.dialog().progressBar()->value(), 2);
    EXPECT_EQ(fixture.dialog().progressBar()->maximum(), 5);
}

TEST(HostTest, ControlEOpensTheExportDialogAndSelectionIsCounted) {
    HostFixture fixture({.photoCount = 4, .selectCount = 0});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.createHost());
    QListView* view = fixture.host().libraryView();
    EXPECT_EQ(view->model()->rowCount(), 4);
    EXPECT_EQ(fixture.host().statusLabel()->text(), QStringLiteral("0 of 4 photos selected"));

    // Keyboard selection: the first photo, then Shift+Right twice.
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(fixture.host().selectedPaths(), fixture.photoPaths().mid(0, 3));
    EXPECT_EQ(fixture.host().statusLabel()->text(), QStringLiteral("3 of 4 photos selected"));

    fixture.host().activateWindow();
    QTest::keyClick(&fixture.host(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(HostFixture::waitFor([&] { return fixture.dialog().isVisible(); }));
    EXPECT_EQ(fixture.host().exportManager().imageCount(), 3u);
}

TEST(HostTest, ClickExportFromThePluginPressesExport) {
    HostFixture fixture({.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    int presses = 0;
    QObject::connect(fixture.dialog().exportButton(), &QPushButton::clicked, [&] { ++presses; });
    fixture.host().exportManager().clickExport();
    EXPECT_EQ(presses, 1);
}

TEST(HostTest, FixtureStartsTheServiceAndRecordsTickWaits) {
    const QByteArray savedUrl = qgetenv("OVPIKTO_SERVICE_URL");
    {
        HostFixture fixture({.photoCount = 1, .startService = true});
        ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
        ASSERT_NE(fixture.service(), nullptr);
        EXPECT_TRUE(fixture.service()->isRunning());
        EXPECT_EQ(qgetenv("OVPIKTO_SERVICE_URL"), fixture.service()->origin().toUtf8());
        TickWait::delay(20);
        TickWait::delay(15);
        EXPECT_EQ(fixture.ticks(), QList<unsigned>({20, 15}));
    }
    EXPECT_EQ(qgetenv("OVPIKTO_SERVICE_URL"), savedUrl);
}

TEST(HostTest, FixtureFindsAnAlertOnTheExportWindow) {
    HostFixture fixture({.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    EXPECT_EQ(HostFixture::alert(), nullptr);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Оврана.Пикто"), QStringLiteral("Test"),
                    QMessageBox::Ok, &fixture.dialog());
    box.setWindowModality(Qt::WindowModal);
    box.open();
    QMessageBox* found = HostFixture::waitForAlert();
    ASSERT_EQ(found, &box);
    found->accept();
    EXPECT_TRUE(HostFixture::waitFor([] { return HostFixture::alert() == nullptr; }));
}

// The installed executable, as a person starts it.
TEST(HostTest, CommandLineSavesAScreenshotOfTheExportPage) {
    HostFixture fixture({.photoCount = 3});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    const QString shot = QStringLiteral(OVPIKTO_SCREENSHOTS "/host-command-line.png");
    QFile::remove(shot);
    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("OVPIKTO_MAIN_BUNDLE"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    host.setProcessEnvironment(environment);
    host.start(fixture.root() + QStringLiteral("/Applications/iPhoto.app/Contents/MacOS/iPhoto"),
               {"--library", fixture.libraryDir(), "--select", "photo-001.jpg", "photo-003.jpg",
                "--export", "--screenshot", shot});
    ASSERT_TRUE(host.waitForFinished(30000)) << host.errorString().toStdString();
    EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    const QImage image(shot);
    EXPECT_FALSE(image.isNull());
}

} // namespace
