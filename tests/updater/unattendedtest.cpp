// The updater's --check and --install, run as the built program against a temporary
// installation.
#include "qstringprinter.h"
#include "updaterroot.h"

#include "eventloopwait.h"
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

class UnattendedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(root.startService()) << root.service().lastError().toStdString();
        ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"),
                                 UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes()));
    }

    void TearDown() override {
        if (host.state() != QProcess::NotRunning) {
            host.kill();
            host.waitForFinished();
        }
    }

    // Starts a process named "iPhoto" that lives until it is ended.
    void startHost() {
        const QString program = root.tmp() + QStringLiteral("/iPhoto");
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
        host.start(program, {QStringLiteral("60")});
        ASSERT_TRUE(host.waitForStarted());
    }

    static void run(QProcess& updater, const QStringList& arguments) {
        updater.setProgram(QStringLiteral(OVPIKTO_UPDATER_APP) +
                           QStringLiteral("/Contents/MacOS/OvPiktoUpdater"));
        updater.setArguments(arguments);
        updater.start();
    }

    static QString output(QProcess& updater) {
        return QString::fromUtf8(updater.readAllStandardOutput());
    }

    UpdaterRoot root;
    QProcess host;
};

TEST_F(UnattendedTest, CheckExitsZeroWhenANewerBuildExistsAndAKeylessOneWarns) {
    QProcess updater;
    run(updater, {QStringLiteral("--check")});
    ASSERT_TRUE(updater.waitForFinished(10000));
    const QString out = output(updater);
    EXPECT_EQ(updater.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("installed: 1.2.0"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("offered: 1.3.0"))) << out.toStdString();
    EXPECT_FALSE(QFile::exists(root.preferencesPath()));
    // A keyless updater (the built one) says that it installs whatever the feed offers.
    const QString warning = QStringLiteral("releases are not verified: no release key is set");
    EXPECT_TRUE(out.contains(QStringLiteral("\nwarning: ") + warning)) << out.toStdString();
    EXPECT_TRUE(QString::fromUtf8(updater.readAllStandardError()).contains(warning));
}

TEST_F(UnattendedTest, CheckExitsOneWithoutANewerBuildAndTwoOnFailure) {
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.2.0.zip"), "same"));
    QProcess none;
    run(none, {QStringLiteral("--check")});
    ASSERT_TRUE(none.waitForFinished(10000));
    EXPECT_EQ(none.exitCode(), 1) << output(none).toStdString();

    ASSERT_TRUE(
        QFile::remove(root.pluginBundle() + QStringLiteral("/Contents/Resources/version.txt")));
    QProcess failing;
    run(failing, {QStringLiteral("--check")});
    ASSERT_TRUE(failing.waitForFinished(10000));
    EXPECT_EQ(failing.exitCode(), 2) << output(failing).toStdString();
}

TEST_F(UnattendedTest, InstallWaitsForTheHostToQuitThenInstalls) {
    startHost();
    QProcess updater;
    run(updater, {QStringLiteral("--install"), QStringLiteral("--wait"), QStringLiteral("30")});
    QString out;
    ASSERT_TRUE(runEventLoopUntil(
        [&] {
            out += output(updater);
            return out.contains(QStringLiteral("waiting up to 30 s")) ||
                   updater.state() == QProcess::NotRunning;
        },
        10000))
        << out.toStdString();
    ASSERT_TRUE(out.contains(QStringLiteral("waiting up to 30 s"))) << out.toStdString();
    QFile waiting(root.pluginBundle() + QStringLiteral("/Contents/Resources/version.txt"));
    ASSERT_TRUE(waiting.open(QIODevice::ReadOnly));
    EXPECT_EQ(waiting.readAll(), "1.2\n"); // nothing installed while the host runs
    host.terminate();
    ASSERT_TRUE(host.waitForFinished());
    ASSERT_TRUE(updater.waitForFinished(10000));
    out += output(updater);
    EXPECT_EQ(updater.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("installed: 1.3.0"))) << out.toStdString();
    QFile version(root.pluginBundle() + QStringLiteral("/Contents/Resources/version.txt"));
    ASSERT_TRUE(version.open(QIODevice::ReadOnly));
    EXPECT_EQ(version.readAll(), "1.3\n");
}

TEST_F(UnattendedTest, InstallGivesUpWhenTheHostKeepsRunning) {
    startHost();
    const auto before = root.snapshot();
    QProcess updater;
    run(updater, {QStringLiteral("--install"), QStringLiteral("--wait"), QStringLiteral("1")});
    ASSERT_TRUE(updater.waitForFinished(10000));
    EXPECT_EQ(updater.exitCode(), 2) << output(updater).toStdString();
    EXPECT_TRUE(root.snapshot() == before);
}

} // namespace
