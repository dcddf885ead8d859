// The command line of pikto-service.

#include "serviceoptions.h"
#include "serviceprocess.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
