#include "keychain.h"

#include "log.h"

#include <QStringList>
#include <QUuid>

#include <gtest/gtest.h>

// These tests run inside tests/support/with-keyring: a private D-Bus session with an unlocked,
// empty gnome-keyring.
namespace {

// A service name of its own per test, so tests never see each other's items.
QString freshService() {
    return QStringLiteral("com.ovrana.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

class LogCapture {
public:
    LogCapture() {
        previous = Log::setSink([this](const QString& line) { lines << line; });
    }
    ~LogCapture() { Log::setSink(previous); }
    QStringList lines;

private:
    Log::Sink previous;
};

} // namespace

TEST(Keychain, StoresAndFindsAPasswordByServiceAndAccount) {
    const QString service = freshService();
    ASSERT_TRUE(Keychain::storeGenericPassword(service, "demo", QStringLiteral("пароль №1")));
    EXPECT_EQ(Keychain::findGenericPassword(service, "demo"), QStringLiteral("пароль №1"));
    EXPECT_FALSE(Keychain::findGenericPassword(service, "other").has_value());
    EXPECT_FALSE(Keychain::findGenericPassword(freshService(), "demo").has_value());
}

TEST(Keychain, StoringAgainReplacesThePassword) {
    const QString service = freshService();
    ASSERT_TRUE(Keychain::storeGenericPassword(service, "demo", "old"));
    ASSERT_TRUE(Keychain::storeGenericPassword(service, "demo", "new"));
    EXPECT_EQ(Keychain::findGenericPassword(service, "demo"), QStringLiteral("new"));
    // Replaced, not added beside: one delete leaves nothing behind.
    EXPECT_TRUE(Keychain::deleteGenericPassword(service, "demo"));
    EXPECT_FALSE(Keychain::findGenericPassword(service, "demo").has_value());
}

TEST(Keychain, DeleteRemovesOnlyThatAccountAndReportsWhetherItFoundOne) {
    const QString service = freshService();
    ASSERT_TRUE(Keychain::storeGenericPassword(service, "first", "one"));
    ASSERT_TRUE(Keychain::storeGenericPassword(service, "second", "two"));
    EXPECT_TRUE(Keychain::deleteGenericPassword(service, "first"));
    EXPECT_FALSE(Keychain::findGenericPassword(service, "first").has_value());
    EXPECT_EQ(Keychain::findGenericPassword(service, "second"), QStringLiteral("two"));
    EXPECT_FALSE(Keychain::deleteGenericPassword(service, "first"));
}

TEST(Keychain, KeepsAnEmptyPasswordApartFromAMissingItem) {
    const QString service = freshService();
    ASSERT_TRUE(Keychain::storeGenericPassword(service, "demo", ""));
    const auto found = Keychain::findGenericPassword(service, "demo");
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(found->isEmpty());
}

TEST(Keychain, AMissingItemIsNotAFailureAndLogsNothing) {
    LogCapture log;
    EXPECT_FALSE(Keychain::findGenericPassword(freshService(), "nobody").has_value());
    EXPECT_FALSE(Keychain::deleteGenericPassword(freshService(), "nobody"));
    EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join('\n').toStdString();
}
