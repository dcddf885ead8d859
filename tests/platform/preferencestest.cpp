// The shared preferences file: every change keeps the keys of others.
#include "preferences.h"
#include "propertylist.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(PreferencesTest, ASetKeepsTheOtherKeysAndCreatesTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Library/Preferences/prefs.plist");
    Preferences preferences(path);
    EXPECT_TRUE(preferences.read().isEmpty());
    ASSERT_TRUE(preferences.setValue("Login", QStringLiteral("demo")));
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    ASSERT_TRUE(preferences.setValues(
        {{"UpdateCancellationsCount", qint64(2)}, {"LastUpdateTimestamp", stamp}}));
    ASSERT_TRUE(preferences.setValue("UpdateCancellationsCount", qint64(3)));

    const auto stored = PropertyList::readDictionary(path);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->value("Login").toString(), QStringLiteral("demo"));
    EXPECT_EQ(stored->value("UpdateCancellationsCount").toLongLong(), 3);
    EXPECT_EQ(stored->value("LastUpdateTimestamp").toDateTime(), stamp);
    EXPECT_EQ(preferences.value("Login").toString(), QStringLiteral("demo"));
    EXPECT_FALSE(preferences.value("Missing").isValid());
}

TEST(PreferencesTest, AnInvalidValueRemovesTheKey) {
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.plist"));
    ASSERT_TRUE(preferences.setValues({{"a", 1}, {"b", 2}}));
    ASSERT_TRUE(preferences.setValue("a", QVariant()));
    EXPECT_EQ(preferences.read().keys(), QStringList{"b"});
}

TEST(PreferencesTest, AnUnreadableFileIsReplacedByANewDictionary) {
    QTemporaryDir dir;
    const QString path = dir.filePath("prefs.plist");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?><plist><dict><key>broken");
    file.close();
    Preferences preferences(path);
    EXPECT_TRUE(preferences.read().isEmpty());
    ASSERT_TRUE(preferences.setValue("UpdateCancellationsCount", qint64(1)));
    EXPECT_EQ(preferences.read().value("UpdateCancellationsCount").toLongLong(), 1);
}

TEST(PreferencesTest, AValueWithoutAPropertyListTypeWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("prefs.plist");
    Preferences preferences(path);
    ASSERT_TRUE(preferences.setValue("Login", QStringLiteral("demo")));
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    EXPECT_FALSE(preferences.setValue("Point", QPoint(1, 2)));
    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

TEST(PreferencesTest, TheSharedFileLivesUnderHome) {
    const QByteArray saved = qgetenv("HOME");
    qputenv("HOME", "/home/someone/");
    EXPECT_EQ(
        Preferences::defaultPath(),
        QStringLiteral("/home/someone/Library/Preferences/com.ovrana.ru.iphotoexporter.plist"));
    EXPECT_EQ(Preferences().path(), Preferences::defaultPath());
    qputenv("HOME", saved);
}

} // namespace
