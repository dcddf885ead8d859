#include "propertylist.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

TEST(PropertyList, WritesAndReadsBackEveryValueType) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Library/Preferences/prefs.plist");
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    const QVariantMap written{
        {"Login", QStringLiteral("Пётр")},
        {"UpdateCancellationsCount", qint64(3)},
        {"Ratio", 0.25},
        {"Enabled", true},
        {"LastUpdateTimestamp", stamp},
        {"Blob", QByteArray("\x00\x01\x02", 3)},
        {"List", QVariantList{QStringLiteral("a"), qint64(2)}},
        {"Nested", QVariantMap{{"k", QStringLiteral("v")}}},
    };
    ASSERT_TRUE(PropertyList::writeDictionary(path, written));

    const auto read = PropertyList::readDictionary(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->value("Login").toString(), QStringLiteral("Пётр"));
    EXPECT_EQ(read->value("UpdateCancellationsCount").toLongLong(), 3);
    EXPECT_DOUBLE_EQ(read->value("Ratio").toDouble(), 0.25);
    EXPECT_TRUE(read->value("Enabled").toBool());
    EXPECT_EQ(read->value("LastUpdateTimestamp").toDateTime(), stamp);
    EXPECT_EQ(read->value("Blob").toByteArray(), QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(read->value("List").toList().size(), 2);
    EXPECT_EQ(read->value("Nested").toMap().value("k").toString(), "v");
}

TEST(PropertyList, RewriteReplacesTheFileAndLeavesNoTemporaryBehind) {
    QTemporaryDir dir;
    const QString path = dir.filePath("prefs.plist");
    ASSERT_TRUE(PropertyList::writeDictionary(path, {{"A", qint64(1)}}));
    ASSERT_TRUE(PropertyList::writeDictionary(path, {{"B", qint64(2)}}));
    const auto read = PropertyList::readDictionary(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_FALSE(read->contains("A"));
    EXPECT_EQ(read->value("B").toLongLong(), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"prefs.plist"});
}

TEST(PropertyList, RefusesWhatItCannotWrite) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("file");
    writeFile(blocker, "x");
    EXPECT_FALSE(PropertyList::writeDictionary(blocker + "/inside.plist", {{"A", true}}));
    EXPECT_FALSE(PropertyList::writeDictionary(dir.filePath("p.plist"),
                                               {{"A", QVariant::fromValue(QSize(1, 2))}}));
    EXPECT_FALSE(QFile::exists(dir.filePath("p.plist")));
}

TEST(PropertyList, MissingGarbledOrNonDictionaryFilesReadAsNothing) {
    QTemporaryDir dir;
    EXPECT_FALSE(PropertyList::readDictionary(dir.filePath("absent.plist")).has_value());

    writeFile(dir.filePath("garbled.plist"), "<?xml version=\"1.0\"?><plist><dict><key>");
    EXPECT_FALSE(PropertyList::readDictionary(dir.filePath("garbled.plist")).has_value());

    writeFile(dir.filePath("array.plist"),
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array>"
              "</plist>");
    EXPECT_FALSE(PropertyList::readDictionary(dir.filePath("array.plist")).has_value());

    writeFile(dir.filePath("empty.plist"), "");
    EXPECT_FALSE(PropertyList::readDictionary(dir.filePath("empty.plist")).has_value());
}

TEST(PropertyList, ReadsStringsFilesInUtf8AndUtf16) {
    const QByteArray text = "/* comment */\n\"OPTitle\" = \"Вход\";\n// line\n"
                            "\"Quoted\" = \"a \\\"b\\\"\\n\";\n";
    const auto utf8 = PropertyList::parseDictionary(text);
    ASSERT_TRUE(utf8.has_value());
    EXPECT_EQ(utf8->value("OPTitle").toString(), QStringLiteral("Вход"));
    EXPECT_EQ(utf8->value("Quoted").toString(), QStringLiteral("a \"b\"\n"));

    const QString unicode = QString::fromUtf8(text);
    QByteArray utf16("\xff\xfe");
    utf16.append(reinterpret_cast<const char*>(unicode.utf16()), unicode.size() * 2);
    const auto wide = PropertyList::parseDictionary(utf16);
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->value("OPTitle").toString(), QStringLiteral("Вход"));

    EXPECT_FALSE(PropertyList::parseDictionary("\"key\" = \"unterminated;").has_value());
    EXPECT_FALSE(PropertyList::parseDictionary("\"key\" \"value\";").has_value());
}
