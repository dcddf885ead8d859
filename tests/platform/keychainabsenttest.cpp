#include "keychain.h"

#include "log.h"

#include <QStringList>

#include <gtest/gtest.h>

// Runs with a session bus address where nothing listens: the keychain is then empty, every
// operation fails softly, and each failure is one log line without the password.
TEST(KeychainWithoutSecretService, IsAnEmptyKeychainAndLogsWhyWithoutThePassword) {
    QStringList lines;
    const Log::Sink previous = Log::setSink([&lines](const QString& line) { lines << line; });

    EXPECT_FALSE(Keychain::storeGenericPassword("com.ovrana.test", "demo", "s3cr3t-value"));
    EXPECT_FALSE(Keychain::findGenericPassword("com.ovrana.test", "demo").has_value());
    EXPECT_FALSE(Keychain::deleteGenericPassword("com.ovrana.test", "demo"));
    Log::setSink(previous);

    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("Keychain: store failed for service \"com.ovrana.test\", "
                                    "account \"demo\": "))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("Keychain: find failed")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("Keychain: delete failed")) << lines[2].toStdString();
    for (const QString& line : lines)
        EXPECT_FALSE(line.contains("s3cr3t")) << line.toStdString();
}
