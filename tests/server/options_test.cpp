// The command line of pikto-service.

#include "serviceoptions.h"
#include "serviceprocess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct OptionCase {
    std::vector<std::string> arguments;
    const char* errorPart; // nullptr when the arguments are good
};

TEST(ServiceOptionsTest, AcceptsGoodArgumentsAndNamesWhatIsWrong) {
    const OptionCase cases[] = {
        {{"--data", "/tmp/x"}, nullptr},
        {{"--data", "/tmp/x", "--port", "0", "--host", "::1"}, nullptr},
        {{"--data", "/tmp/x", "--user", "a:b:c", "--token", "a:t"}, nullptr},
        {{}, "--data DIR is required"},
        {{"--port", "8480"}, "--data DIR is required"},
        {{"--data", "/tmp/x", "--port", "65536"}, "--port needs a number"},
        {{"--data", "/tmp/x", "--port", "-1"}, "--port needs a number"},
        {{"--data", "/tmp/x", "--port", "80a"}, "--port needs a number"},
        {{"--data", "/tmp/x", "--user", "alice"}, "--user needs LOGIN:PASSWORD"},
        {{"--data", "/tmp/x", "--user", ":pw"}, "--user needs LOGIN:PASSWORD"},
        {{"--data", "/tmp/x", "--token", "alice:"}, "--token needs LOGIN:TOKEN"},
        {{"--data"}, "missing value after --data"},
        {{"--data", "/tmp/x", "--verbose"}, "unknown option: --verbose"},
    };
    for (const OptionCase& c : cases) {
        ServiceOptions options;
        std::string error;
        const bool ok = options.parse(c.arguments, error);
        if (!c.errorPart) {
            EXPECT_TRUE(ok) << error;
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
        }
    }
}

TEST(ServiceOptionsTest, SplitsAPasswordAtTheFirstColonOnly) {
    ServiceOptions options;
    std::string error;
    ASSERT_TRUE(
        options.parse({"--data", "d", "--user", "alice:pa:ss", "--token", "bob:t1"}, error));
    ASSERT_EQ(options.users.size(), 1u);
    EXPECT_EQ(options.users[0].first, "alice");
    EXPECT_EQ(options.users[0].second, "pa:ss");
    ASSERT_EQ(options.tokens.size(), 1u);
    EXPECT_EQ(options.tokens[0].second, "t1");
}

// A users file with the given text and mode in a temporary folder.
QString usersFile(const QTemporaryDir& dir, const QByteArray& text, mode_t mode) {
    const QString path = dir.filePath(QStringLiteral("users"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    EXPECT_EQ(::chmod(path.toLocal8Bit().constData(), mode), 0);
    return path;
}

TEST(ServiceOptionsTest, UsersFileAndEnvironmentAddAccounts) {
    QTemporaryDir dir;
    ServiceOptions options;
    std::string error;
    ASSERT_TRUE(
        options.parse({"--data", "d", "--users-file",
                       usersFile(dir, "# accounts\nalice:pa:ss\r\n\nbob:x\n", 0600).toStdString()},
                      error));
    ASSERT_TRUE(options.readUsers("carol:c1\ndave:d2", error)) << error;
    const std::vector<std::pair<std::string, std::string>> expected{
        {"alice", "pa:ss"}, {"bob", "x"}, {"carol", "c1"}, {"dave", "d2"}};
    EXPECT_EQ(options.users, expected);
}

TEST(ServiceOptionsTest, AUsersFileOthersMayReadIsRefused) {
    QTemporaryDir dir;
    for (const mode_t mode : {0644, 0640, 0604, 0620}) {
        ServiceOptions options;
        std::string error;
        ASSERT_TRUE(options.parse(
            {"--data", "d", "--users-file", usersFile(dir, "alice:pw\n", mode).toStdString()},
            error));
        EXPECT_FALSE(options.readUsers(nullptr, error)) << mode;
        EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;
        EXPECT_TRUE(options.users.empty());
    }
}

TEST(ServiceOptionsTest, AMalformedAccountLineIsNamedByNumberNotRepeated) {
    QTemporaryDir dir;
    ServiceOptions options;
    std::string error;
    ASSERT_TRUE(
        options.parse({"--data", "d", "--users-file",
                       usersFile(dir, "alice:pw\nsecret-without-colon\n", 0600).toStdString()},
                      error));
    EXPECT_FALSE(options.readUsers(nullptr, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(error.find("secret-without-colon"), std::string::npos) << error;
    ServiceOptions fromEnvironment;
    EXPECT_FALSE(fromEnvironment.readUsers("hunter2", error));
    EXPECT_EQ(error.find("hunter2"), std::string::npos) << error;
}

TEST(ServiceOptionsTest, PsShowsNoPasswordWhenAccountsComeFromAFile) {
    QTemporaryDir dir;
    const QString file = usersFile(dir, "alice:file-only-password\n", 0600);
    ServiceProcess service;
    service.setExtraArguments({QStringLiteral("--users-file"), file});
    ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(service.processId()));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QByteArray shown = cmdline.readAll();
    EXPECT_TRUE(shown.contains("--users-file"));
    EXPECT_FALSE(shown.contains("file-only-password"));
    // The account is there: the album list of a token-less request is refused, not unknown.
    QProcess ps;
    ps.start(QStringLiteral("ps"),
             {QStringLiteral("-ww"), QStringLiteral("-o"), QStringLiteral("args="),
              QStringLiteral("-p"), QString::number(service.processId())});
    ASSERT_TRUE(ps.waitForFinished(10000));
    const QByteArray listed = ps.readAllStandardOutput();
    EXPECT_TRUE(listed.contains("pikto-service"));
    EXPECT_FALSE(listed.contains("file-only-password"));
}

TEST(ServiceOptionsTest, TheExecutableRefusesAUsersFileOthersMayRead) {
    QTemporaryDir dir;
    ServiceProcess service;
    service.setExtraArguments({QStringLiteral("--users-file"), usersFile(dir, "alice:pw\n", 0644)});
    EXPECT_FALSE(service.start());
}

TEST(ServiceOptionsTest, ExecutableRefusesBadArgumentsWithoutRepeatingSecrets) {
    QProcess process;
    process.start(ServiceProcess::executable(),
                  {QStringLiteral("--data"), QStringLiteral("/nonexistent"),
                   QStringLiteral("--user"), QStringLiteral("topsecret")});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_NE(process.exitCode(), 0);
    const QByteArray err = process.readAllStandardError();
    EXPECT_TRUE(err.contains("--user needs LOGIN:PASSWORD")) << err.toStdString();
    EXPECT_FALSE(err.contains("topsecret"));
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
}

TEST(ServiceOptionsTest, ExecutableReportsAPortInUse) {
    ServiceProcess first;
    ASSERT_TRUE(first.start()) << first.lastError().toStdString();
    QTemporaryDir data;
    QProcess second;
    second.start(ServiceProcess::executable(),
                 {QStringLiteral("--data"), data.path(), QStringLiteral("--port"),
                  QString::number(first.port())});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("cannot listen"));
}

TEST(ServiceOptionsTest, HelpDescribesTheOptions) {
    QProcess process;
    process.start(ServiceProcess::executable(), {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray out = process.readAllStandardOutput();
    for (const char* option : {"--host", "--port", "--data", "--user", "--token", "--releases"})
        EXPECT_TRUE(out.contains(option)) << option;
}

} // namespace

namespace {

TEST(ServiceProcessTest, StopsCleanlyOnSigtermEvenRightAfterItListens) {
    QTemporaryDir data;
    for (int i = 0; i < 5; ++i) {
        QProcess process;
        process.start(ServiceProcess::executable(), {QStringLiteral("--port"), QStringLiteral("0"),
                                                     QStringLiteral("--data"), data.path()});
        ASSERT_TRUE(process.waitForReadyRead(60000));
        EXPECT_TRUE(process.readLine().startsWith("pikto-service listening on http://127.0.0.1:"));
        process.terminate();
        ASSERT_TRUE(process.waitForFinished(15000)) << "round " << i;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }
}

} // namespace
