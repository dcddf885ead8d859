// Remember-me when no Secret Service can be reached (the session bus address leads
// nowhere): the login is kept, the password is not, and the log says why.
#include "pagedriver.h"

#include "log.h"
#include "preferences.h"

#include <QMutex>
#include <QStringList>

using namespace PageDriver;

namespace {

TEST(SignInWithoutSecretService, RememberMeKeepsTheLoginOnlyAndTheNextStartAsksForThePassword) {
    HostFixture host({.startService = true});
    ASSERT_TRUE(host.setUp()) << host.lastError().toStdString();
    QStringList lines;
    QMutex linesLock;
    const Log::Sink previous = Log::setSink([&](const QString& line) {
        QMutexLocker lock(&linesLock);
        lines << line;
    });
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));
    EXPECT_EQ(currentTab(host), 1);
    EXPECT_EQ(Preferences().value(QStringLiteral("Login")).toString(), QStringLiteral("demo"));

    host.closeHost();
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    auto* passwordText = host.widget<QLineEdit>("passwordText");
    ASSERT_TRUE(HostFixture::waitFor(
        [&] { return passwordText->window()->focusWidget() == passwordText; }));
    HostFixture::processEvents(30);
    Log::setSink(previous);

    EXPECT_EQ(currentTab(host), 0);
    EXPECT_EQ(host.widget<QLineEdit>("loginText")->text(), QStringLiteral("demo"));
    EXPECT_EQ(requestsContaining(*host.service(), QStringLiteral("/ovmrsa/key/")).size(), 1);
    const QStringList keychainLines = lines.filter(QStringLiteral("Keychain: "));
    ASSERT_EQ(keychainLines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(keychainLines[0].startsWith(QStringLiteral(
        "Keychain: store failed for service \"iphoto-exporter\", account \"demo\"")));
    EXPECT_TRUE(keychainLines[1].startsWith(QStringLiteral("Keychain: find failed")));
    for (const QString& line : lines)
        EXPECT_FALSE(line.contains(QStringLiteral("secret"))) << line.toStdString();
}

} // namespace
