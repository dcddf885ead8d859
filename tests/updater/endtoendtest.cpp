// The whole release loop on this machine: a host with plug-in 1.2.0 and the updater
// installed by the shared install scripts, release 1.3.0 made and signed by
// scripts/make-release and served by pikto-service, the installed updater's --install,
// and the host started afterwards showing the new version.
#include "hostfixture.h"
#include "propertylist.h"
#include "qstringprinter.h"
#include "serviceprocess.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString updaterApp =
    QStringLiteral("/Applications/Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app");

// Runs a program to its end; its exit code, or -1 when it did not end in time.
int runToEnd(QProcess& process, const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment, QString* output) {
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(60000);
    *output = QString::fromUtf8(process.readAll());
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(UpdaterEndToEndTest, AMadeReleaseIsInstalledAndTheHostShowsItsVersion) {
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
    // The updater finds its own bundle from where it runs, not the host's.
    environment.remove(QStringLiteral("OVPIKTO_MAIN_BUNDLE"));
    environment.insert(QStringLiteral("OVPIKTO_SERVICE_URL"), service.origin());
    QString output;

    QProcess keygen;
    ASSERT_EQ(runToEnd(keygen, build + QStringLiteral("/bin/pikto-release"),
                       {QStringLiteral("keygen"), keys}, environment, &output),
              0)
        << output.toStdString();
    const QString publicKey = output.trimmed();
    QProcess install;
    ASSERT_EQ(runToEnd(install, source + QStringLiteral("/scripts/install-updater"),
                       {fixture.root(), QStringLiteral("--build"), build,
                        QStringLiteral("--public-key"), publicKey},
                       environment, &output),
              0)
        << output.toStdString();
    QProcess release;
    ASSERT_EQ(
        runToEnd(release, source + QStringLiteral("/scripts/make-release"),
                 {QStringLiteral("1.3.0"), QStringLiteral("--no-build"), QStringLiteral("--build"),
                  build, QStringLiteral("--out"), releases, QStringLiteral("--keys"), keys,
                  QStringLiteral("--origin"), service.origin()},
                 environment, &output),
        0)
        << output.toStdString();

    const QString updater =
        fixture.root() + updaterApp + QStringLiteral("/Contents/MacOS/OvPiktoUpdater");
    QProcess check;
    EXPECT_EQ(runToEnd(check, updater, {QStringLiteral("--check")}, environment, &output), 0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("installed: 1.2.0"))) << output.toStdString();
    QProcess update;
    ASSERT_EQ(
        runToEnd(update, updater,
                 {QStringLiteral("--install"), QStringLiteral("--wait"), QStringLiteral("10")},
                 environment, &output),
        0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("installed: 1.3.0"))) << output.toStdString();

    // The new updater checks the next release with the same key.
    const auto info = PropertyList::readDictionary(fixture.root() + updaterApp +
                                                   QStringLiteral("/Contents/Info.plist"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->value(QStringLiteral("OPUpdatePublicKey")).toString(), publicKey);
    EXPECT_EQ(info->value(QStringLiteral("CFBundleVersion")).toString(), QStringLiteral("1.3.0"));

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    QLabel* version = fixture.widget<QLabel>("versionInfo");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Версия: 1.3.0"));
}

} // namespace
