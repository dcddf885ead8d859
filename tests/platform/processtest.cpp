// Running, quitting and starting applications by name and bundle.
#include "applicationlauncher.h"
#include "applicationquitter.h"
#include "processtable.h"
#include "propertylist.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Runs the event loop (no sleeping) until `done` holds; false after `timeoutMs`.
bool runEventLoopUntil(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // wakes the loop for a condition no event announces
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// An application bundle whose executable is `program` copied under `name`.
QString makeBundle(const QTemporaryDir& dir, const QString& name, const QString& program) {
    const QString app = dir.filePath(name + ".app");
    QDir().mkpath(app + "/Contents/MacOS");
    PropertyList::writeDictionary(app + "/Contents/Info.plist", {{"CFBundleExecutable", name}});
    QFile::copy(program, app + "/Contents/MacOS/" + name);
    return app;
}

TEST(ProcessTableTest, FindsProcessesByTheirKernelName) {
    const QString own = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    EXPECT_TRUE(ProcessTable::isRunning(own));
    EXPECT_TRUE(ProcessTable::pidsNamed(own).contains(getpid()));
    EXPECT_FALSE(ProcessTable::isRunning("no-such-process-here"));
    EXPECT_FALSE(ProcessTable::isRunning(QString()));
}

TEST(ProcessTableTest, LongNamesCompareByTheirFirstFifteenBytes) {
    QTemporaryDir dir;
    const QString program = dir.filePath("averyveryverylongname");
    ASSERT_TRUE(QFile::copy("/bin/sleep", program));
    QProcess process;
    process.start(program, {"30"});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_TRUE(
        ProcessTable::pidsNamed("averyveryverylongname").contains(pid_t(process.processId())));
    process.kill();
    process.waitForFinished();
}

TEST(ApplicationQuitterTest, QuitEndsTheApplicationsProcesses) {
    QTemporaryDir dir;
    const QString app = makeBundle(dir, "PiktoSleeper", "/bin/sleep");
    QProcess process;
    process.start(app + "/Contents/MacOS/PiktoSleeper", {"30"});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_EQ(ApplicationQuitter::quit(app), 1);
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit); // ended by the signal
    EXPECT_EQ(ApplicationQuitter::quit(app), 0);
    EXPECT_EQ(ApplicationQuitter::quit(dir.filePath("Missing.app")), 0);
}

TEST(ApplicationLauncherTest, ActivateStartsTheBundlesExecutableDetached) {
    QTemporaryDir dir;
    const QString marker = dir.filePath("started");
    const QString script = dir.filePath("script");
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\npwd > \"$1\"\n");
    file.close();
    const QString app = makeBundle(dir, "PiktoStarter", script);
    ASSERT_TRUE(QFile::setPermissions(app + "/Contents/MacOS/PiktoStarter",
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner));
    EXPECT_EQ(ApplicationLauncher::executablePath(app), app + "/Contents/MacOS/PiktoStarter");
    ASSERT_TRUE(ApplicationLauncher::activate(app, {marker}));
    ASSERT_TRUE(runEventLoopUntil([&] { return QFileInfo(marker).size() > 0; }, 5000));
    QFile started(marker);
    ASSERT_TRUE(started.open(QIODevice::ReadOnly));
    EXPECT_EQ(started.readAll().trimmed(), (app + "/Contents/MacOS").toUtf8());
}

TEST(ApplicationLauncherTest, ABundleWithoutAnExecutableIsNotStarted) {
    QTemporaryDir dir;
    const QString app = dir.filePath("Empty.app");
    QDir().mkpath(app + "/Contents");
    EXPECT_FALSE(ApplicationLauncher::activate(app));
    PropertyList::writeDictionary(app + "/Contents/Info.plist",
                                  {{"CFBundleExecutable", "Missing"}});
    EXPECT_FALSE(ApplicationLauncher::activate(app));
    PropertyList::writeDictionary(app + "/Contents/Info.plist",
                                  {{"CFBundleExecutable", "../../bin/sh"}});
    EXPECT_TRUE(ApplicationLauncher::executablePath(app).isNull());
}

} // namespace
