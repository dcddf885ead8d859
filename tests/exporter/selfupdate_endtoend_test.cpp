// The release loop from the plug-in's side: a host with plug-in 1.2.0 and the updater
// installed, release 1.3.0 made by scripts/make-release and served by pikto-service, the
// page's "Обновления" link starting the updater (recorded instead of started), that
// updater's --install, and the host started again showing the new version.
#include "hostfixture.h"
#include "ovpiktoexporter.h"
#include "preferences.h"
#include "qzlink.h"
#include "serviceprocess.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString updaterApp =
    QStringLiteral("/Applications/Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app");

// Runs a program to its end; its exit code, or -1 when it did not end in time.
int runToEnd(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment, QString* output) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(60000);
    *output = QString::fromUtf8(process.readAll());
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Sets an environment variable for the scope and restores (or removes) it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_saved(qgetenv(name)) {
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnv() {
        if (m_had)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_saved;
};

// The module's controller is this build's class compiled from the same header: its
// fields are reached through it (the module holds its own copy of the class).
OvPiktoExporter* controllerOf(HostFixture& fixture) {
    return static_cast<OvPiktoExporter*>(fixture.plugin());
}

TEST(SelfUpdateEndToEndTest, TheLinkStartsTheUpdaterWhichInstallsTheNewRelease) {
    HostFixture fixture(HostFixture::Options{.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    const QString source = QStringLiteral(OVPIKTO_SOURCE_DIR);
    const QString build = HostFixture::buildDir();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString releases = work.filePath(QStringLiteral("releases"));
    const QString keys = work.filePath(QStringLiteral("keys"));
    ASSERT_TRUE(QDir().mkpath(releases));
    ServiceProcess service(ServiceProcess::Options{{}, {}, releases});
    ASSERT_TRUE(service.start()) << service.lastError().toStdString();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("OVPIKTO_MAIN_BUNDLE"));
    environment.insert(QStringLiteral("OVPIKTO_SERVICE_URL"), service.origin());
    QString output;
    ASSERT_EQ(runToEnd(build + QStringLiteral("/bin/pikto-release"),
                       {QStringLiteral("keygen"), keys}, environment, &output),
              0)
        << output.toStdString();
    const QString publicKey = output.trimmed();
    ASSERT_EQ(runToEnd(source + QStringLiteral("/scripts/install-updater"),
                       {fixture.root(), QStringLiteral("--build"), build,
                        QStringLiteral("--public-key"), publicKey},
                       environment, &output),
              0)
        << output.toStdString();
    ASSERT_EQ(
        runToEnd(source + QStringLiteral("/scripts/make-release"),
                 {QStringLiteral("1.3.0"), QStringLiteral("--no-build"), QStringLiteral("--build"),
                  build, QStringLiteral("--out"), releases, QStringLiteral("--keys"), keys,
                  QStringLiteral("--origin"), service.origin()},
                 environment, &output),
        0)
        << output.toStdString();

    // Three declines just now: the automatic check at start-up stays quiet, so only the
    // link (which ignores the back-off) can start the updater.
    ASSERT_TRUE(Preferences().setValues(
        {{QStringLiteral("UpdateCancellationsCount"), qint64(3)},
         {QStringLiteral("LastUpdateTimestamp"), QDateTime::currentDateTimeUtc()}}));
    // The plug-in reads the service's address when the host loads it.
    const ScopedEnv serviceUrl("OVPIKTO_SERVICE_URL", service.origin());

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    auto* version = fixture.widget<QLabel>("versionInfo");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Версия: 1.2.0"));
    QStringList started;
    controllerOf(fixture)->startUpdater = [&started](const QString& path) { started << path; };
    auto* link = static_cast<QZLink*>(fixture.widget<QWidget>("updateSoftwareLink"));
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton, {}, link->textRect().center());
    HostFixture::processEvents();
    ASSERT_EQ(started, QStringList{fixture.root() + updaterApp});
    EXPECT_EQ(HostFixture::alert(), nullptr);

    // What the started updater then does, unattended: the host has quit meanwhile.
    fixture.closeHost();
    const QString updater = started.first() + QStringLiteral("/Contents/MacOS/OvPiktoUpdater");
    ASSERT_EQ(
        runToEnd(updater,
                 {QStringLiteral("--install"), QStringLiteral("--wait"), QStringLiteral("10")},
                 environment, &output),
        0)
        << output.toStdString();

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    version = fixture.widget<QLabel>("versionInfo");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Версия: 1.3.0"));
    fixture.closeHost();
}

} // namespace
