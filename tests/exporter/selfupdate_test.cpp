// The plug-in's own update check, with the controller linked in directly: the back-off
// after declined updates (on a fixed clock), the manual check from the link, and the
// bundle version written at load time. The feed comes from a loopback responder, so a
// check shows up as a request to it.
#include "bundle.h"
#include "loopbackresponder.h"
#include "ovpiktoexporter.h"
#include "ovpiktoexporterglobals.h"
#include "preferences.h"
#include "propertylist.h"
#include "qzlink.h"
#include "serviceurls.h"
#include "tickwait.h"

#include "../updater/qstringprinter.h"
#include "../widgets/screenshot.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

const QString installedVersion = QStringLiteral("1.2.0");

class NoImages : public ExportImageProtocol {
public:
    unsigned imageCount() override { return 0; }
    QString imagePathAtIndex(unsigned) override { return {}; }
    void clickExport() override {}
};

// A versions feed whose only release is `version`, as an HTTP answer.
QByteArray feedAnswer(const QString& version) {
    const QByteArray body =
        QStringLiteral("<rss version=\"2.0\"><channel><item><title>Ovrana.Pikto</title>"
                       "<enclosure url=\"http://127.0.0.1/OvPikto_%1.zip\" length=\"10\"/>"
                       "</item></channel></rss>")
            .arg(version)
            .toUtf8();
    return "HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Copies the built plug-in bundle's Info.plist and resources (not the module).
bool copyBundle(const QString& from, const QString& to) {
    QDirIterator files(from + QStringLiteral("/Contents"), QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        if (file.contains(QStringLiteral("/MacOS/")))
            continue;
        const QString target = to + file.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}

class SelfUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        for (const char* name : {"OVPIKTO_ROOT", "HOME", "OVPIKTO_LANG", "OVPIKTO_MAIN_BUNDLE"})
            saved.append({name, qgetenv(name)});
        qputenv("OVPIKTO_ROOT", temp.filePath("root").toUtf8());
        qputenv("HOME", temp.filePath("home").toUtf8());
        qputenv("OVPIKTO_LANG", "ru");
        // A host of version 7 with the plug-in (1.2.0) in the Library folder.
        const QString host = temp.filePath("root/Applications/iPhoto.app");
        ASSERT_TRUE(QDir().mkpath(host + QStringLiteral("/Contents")));
        ASSERT_TRUE(PropertyList::writeDictionary(
            host + QStringLiteral("/Contents/Info.plist"),
            {{QStringLiteral("CFBundleVersion"), QStringLiteral("7.1.5")}}));
        qputenv("OVPIKTO_MAIN_BUNDLE", host.toUtf8());
        pluginBundle = temp.filePath("root/Library/Application Support/iPhoto/Plugins/"
                                     "Ov.Pikto.Export.iPhotoExporter");
        ASSERT_TRUE(copyBundle(QStringLiteral(OVPIKTO_PLUGIN_BUNDLE), pluginBundle));
        Bundle::clearLoaded();
        Bundle::registerLoaded(pluginBundle);
        TickWait::setHook([](unsigned) {});
        // The start-up timers must not run a check of their own.
        OvPiktoExporterGlobals::triedToUpdate = true;
        OvPiktoExporterGlobals::pluginVersion = installedVersion;
    }

    void TearDown() override {
        exporter.reset();
        window.reset();
        if (QMessageBox* box = alert())
            delete box;
        TickWait::setHook({});
        Bundle::clearLoaded();
        OvPiktoExporterGlobals::pluginVersion.clear();
        for (const auto& [name, value] : saved) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }

    // The controller against a feed whose newest release is `feedVersion`.
    void makeExporter(const QString& feedVersion, bool withPage = false) {
        feed = std::make_unique<LoopbackResponder>(feedAnswer(feedVersion));
        exporter = std::make_unique<OvPiktoExporter>(&images, ServiceUrls(feed->origin()));
        exporter->currentTime = [this] { return now; };
        exporter->startUpdater = [this](const QString& path) { started << path; };
        if (!withPage)
            return;
        exporter->loadNib();
        window = std::make_unique<QDialog>();
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(exporter->settingsView());
        window->show();
        QApplication::setActiveWindow(window.get());
        QCoreApplication::processEvents();
    }

    static void storePreferences(qint64 declines, const QDateTime& stamp) {
        ASSERT_TRUE(Preferences().setValues({{QStringLiteral("UpdateCancellationsCount"), declines},
                                             {QStringLiteral("LastUpdateTimestamp"), stamp}}));
    }

    qsizetype checks() const { return feed->requests().size(); }

    static QMessageBox* alert() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                return box;
        return nullptr;
    }

    QTemporaryDir temp;
    QList<std::pair<const char*, QByteArray>> saved;
    QString pluginBundle;
    NoImages images;
    const QDateTime now{QDate(2026, 12, 8), QTime(12, 0), Qt::UTC};
    std::unique_ptr<LoopbackResponder> feed;
    std::unique_ptr<OvPiktoExporter> exporter;
    std::unique_ptr<QDialog> window;
    QStringList started;
};

TEST_F(SelfUpdateTest, FirstRunCreatesThePreferencesWithZeroAndNowAndChecks) {
    makeExporter(installedVersion);
    ASSERT_FALSE(QFile::exists(Preferences::defaultPath()));
    exporter->selfUpdate();
    const QVariantMap stored = Preferences().read();
    EXPECT_EQ(stored.value(QStringLiteral("UpdateCancellationsCount")).toLongLong(), 0);
    EXPECT_EQ(stored.value(QStringLiteral("LastUpdateTimestamp")).toDateTime(), now);
    EXPECT_EQ(checks(), 1);
    // The automatic check reports nothing when there is nothing newer.
    QCoreApplication::processEvents();
    EXPECT_EQ(alert(), nullptr);
}

TEST_F(SelfUpdateTest, OneDeclineWaitsTwoDays) {
    makeExporter(installedVersion);
    storePreferences(1, now.addSecs(-47 * 3600));
    exporter->selfUpdate();
    EXPECT_EQ(checks(), 0) << "47 hours after the stamp";
    storePreferences(1, now.addSecs(-49 * 3600));
    exporter->selfUpdate();
    EXPECT_EQ(checks(), 1) << "49 hours after the stamp";
}

TEST_F(SelfUpdateTest, SevenDeclinesWaitTwelveDays) {
    makeExporter(installedVersion);
    storePreferences(7, now.addDays(-11));
    exporter->selfUpdate();
    EXPECT_EQ(checks(), 0) << "11 days after the stamp";
    storePreferences(7, now.addDays(-13));
    exporter->selfUpdate();
    EXPECT_EQ(checks(), 1) << "13 days after the stamp";
    // The decline count is the updater's: the check leaves it as it was.
    EXPECT_EQ(Preferences().value(QStringLiteral("UpdateCancellationsCount")).toLongLong(), 7);
}

TEST_F(SelfUpdateTest, AStampInTheFutureIsResetAndWrittenBack) {
    makeExporter(installedVersion);
    storePreferences(1, now.addSecs(3600));
    ASSERT_TRUE(Preferences().setValue(QStringLiteral("OtherKey"), QStringLiteral("kept")));
    exporter->selfUpdate();
    const QVariantMap stored = Preferences().read();
    EXPECT_EQ(stored.value(QStringLiteral("LastUpdateTimestamp")).toDateTime(), now);
    EXPECT_EQ(stored.value(QStringLiteral("UpdateCancellationsCount")).toLongLong(), 1);
    EXPECT_EQ(stored.value(QStringLiteral("OtherKey")).toString(), QStringLiteral("kept"));
    EXPECT_EQ(checks(), 0) << "one decline: the wait starts now";
}

TEST_F(SelfUpdateTest, AnUnreadablePreferencesFileIsReplacedAndTheCheckRuns) {
    makeExporter(installedVersion);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(Preferences::defaultPath()).absolutePath()));
    QFile file(Preferences::defaultPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a property list");
    file.close();
    exporter->selfUpdate();
    const QVariantMap stored = Preferences().read();
    EXPECT_EQ(stored.value(QStringLiteral("UpdateCancellationsCount")).toLongLong(), 0);
    EXPECT_EQ(stored.value(QStringLiteral("LastUpdateTimestamp")).toDateTime(), now);
    EXPECT_EQ(checks(), 1);
}

TEST_F(SelfUpdateTest, TheLinkWithNothingNewerShowsTheNoUpdateAlertWithTheVersion) {
    makeExporter(QStringLiteral("1.1.9"), true);
    // The link ignores the back-off.
    storePreferences(3, now);
    QTest::mouseClick(exporter->updateSoftwareLink, Qt::LeftButton, {},
                      exporter->updateSoftwareLink->textRect().center());
    QMessageBox* box = nullptr;
    for (int i = 0; i < 50 && !box; ++i) {
        QCoreApplication::processEvents();
        box = alert();
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(checks(), 1);
    EXPECT_EQ(box->text(), QStringLiteral("Оврана.Пикто"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("Обновлений нет. Установлена последняя версия: 1.2.0"));
    EXPECT_TRUE(started.isEmpty());
    EXPECT_TRUE(saveScreenshot(*box, QStringLiteral("selfupdate-no-update-alert")));
}

TEST_F(SelfUpdateTest, TheLinkWithANewerBuildStartsTheUpdater) {
    makeExporter(QStringLiteral("1.3.0"), true);
    ASSERT_TRUE(QDir().mkpath(OvPiktoExporter::updaterApplicationPath()));
    QTest::mouseClick(exporter->updateSoftwareLink, Qt::LeftButton, {},
                      exporter->updateSoftwareLink->textRect().center());
    QCoreApplication::processEvents();
    EXPECT_EQ(started,
              QStringList{temp.filePath(QStringLiteral(
                  "root/Applications/Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app"))});
    EXPECT_EQ(alert(), nullptr);
}

TEST_F(SelfUpdateTest, ANewerBuildWithoutTheUpdaterIsNotOffered) {
    makeExporter(QStringLiteral("1.3.0"));
    exporter->updateSoftware();
    QCoreApplication::processEvents();
    EXPECT_EQ(checks(), 1);
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(alert(), nullptr);
}

TEST_F(SelfUpdateTest, TheBundleVersionIsWrittenIntoThePlugInsInfoPlist) {
    makeExporter(installedVersion);
    const QString infoPlist = pluginBundle + QStringLiteral("/Contents/Info.plist");
    exporter->updatePluginBundleVersion(QStringLiteral("1.2.345"));
    const auto info = PropertyList::readDictionary(infoPlist);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->value(QStringLiteral("CFBundleVersion")).toString(), QStringLiteral("1.2.345"));
    EXPECT_EQ(info->value(QStringLiteral("CFBundleIdentifier")).toString(),
              QStringLiteral("com.ovrana.iphoto.exporter"));
    EXPECT_EQ(info->value(QStringLiteral("NSPrincipalClass")).toString(),
              QStringLiteral("OvPiktoExporter"));
}

TEST_F(SelfUpdateTest, AnUnreadableInfoPlistIsNotWritten) {
    makeExporter(installedVersion);
    const QString infoPlist = pluginBundle + QStringLiteral("/Contents/Info.plist");
    // Found while loaded, then spoilt: the plug-in must not write a new dictionary over it.
    ASSERT_TRUE(Bundle::withIdentifier(QStringLiteral("com.ovrana.iphoto.exporter")));
    QFile file(infoPlist);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("garbage");
    file.close();
    exporter->updatePluginBundleVersion(QStringLiteral("1.2.345"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("garbage"));
}

} // namespace
