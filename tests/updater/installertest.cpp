// Installing unpacked folders: every step that can fail puts the old folders back.
#include "archivecheck.h"
#include "formattext.h"
#include "qstringprinter.h"
#include "updateinstaller.h"
#include "zipwriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>

#include <gtest/gtest.h>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QMap<QString, QByteArray> tree(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        QFile file(info.filePath());
        files.insert(QDir(folder).relativeFilePath(info.filePath()),
                     info.isDir() ? QByteArray("<dir>")
                                  : (file.open(QIODevice::ReadOnly) ? file.readAll() : "?"));
    }
    return files;
}

class UpdateInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        unpacked = dir.filePath("work");
        plugins = dir.filePath("root/Plugins");
        application = dir.filePath("root/Applications/Оврана.Пикто");
        ASSERT_TRUE(writeFile(
            plugins + "/Ov.Pikto.Export.iPhotoExporter/Contents/Resources/version.txt", "1.2"));
        ASSERT_TRUE(
            writeFile(application + "/Updater.app/Contents/MacOS/OvPiktoUpdater", "old updater"));
        ASSERT_TRUE(writeFile(
            unpacked + "/Ov.Pikto.Export.iPhotoExporter/Contents/Resources/version.txt", "1.3"));
        ASSERT_TRUE(writeFile(unpacked + "/Оврана.Пикто/Updater.app/Contents/MacOS/OvPiktoUpdater",
                              "new updater"));
        installed = tree(dir.filePath("root"));
    }

    QTemporaryDir dir;
    QString unpacked;
    QString plugins;
    QString application;
    QMap<QString, QByteArray> installed;
};

TEST_F(UpdateInstallerTest, AFailureAtAnyRenameLeavesTheInstallationAsItWas) {
    // Count the renames of a successful run first, on a copy of the same layout.
    int total = 0;
    {
        QTemporaryDir other;
        const QString work = other.filePath("work");
        ASSERT_TRUE(writeFile(work + "/Ov.Pikto.Export.iPhotoExporter/a", "1"));
        ASSERT_TRUE(writeFile(work + "/Оврана.Пикто/b", "2"));
        ASSERT_TRUE(writeFile(other.filePath("Plugins/Ov.Pikto.Export.iPhotoExporter/a"), "0"));
        ASSERT_TRUE(writeFile(other.filePath("Оврана.Пикто/b"), "0"));
        UpdateInstaller counting;
        counting.setRename([&](const QByteArray& from, const QByteArray& to) {
            ++total;
            return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
        });
        ASSERT_EQ(counting.install(work, other.filePath("Plugins"), other.filePath("Оврана.Пикто")),
                  QString());
    }
    ASSERT_EQ(total, 6); // two staged, two moved aside, two moved in

    for (int failing = 1; failing <= total; ++failing) {
        int calls = 0;
        UpdateInstaller installer;
        installer.setRename([&](const QByteArray& from, const QByteArray& to) {
            if (++calls == failing)
                return EACCES;
            return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
        });
        const QString reason = installer.install(unpacked, plugins, application);
        EXPECT_FALSE(reason.isEmpty()) << "rename " << failing;
        EXPECT_EQ(tree(dir.filePath("root")), installed) << "rename " << failing;
        // Staged folders went back or away; the unpacked ones may be re-made for the next round.
        QDir(unpacked).removeRecursively();
        ASSERT_TRUE(writeFile(
            unpacked + "/Ov.Pikto.Export.iPhotoExporter/Contents/Resources/version.txt", "1.3"));
        ASSERT_TRUE(writeFile(unpacked + "/Оврана.Пикто/Updater.app/Contents/MacOS/OvPiktoUpdater",
                              "new updater"));
    }
}

TEST_F(UpdateInstallerTest, AnotherFileSystemIsReachedByCopying) {
    UpdateInstaller installer;
    installer.setRename([&](const QByteArray& from, const QByteArray& to) {
        // Leaving the work folder crosses a file-system boundary.
        if (QFile::decodeName(from).startsWith(unpacked))
            return EXDEV;
        return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    });
    ASSERT_EQ(installer.install(unpacked, plugins, application), QString());
    QFile version(plugins + "/Ov.Pikto.Export.iPhotoExporter/Contents/Resources/version.txt");
    ASSERT_TRUE(version.open(QIODevice::ReadOnly));
    EXPECT_EQ(version.readAll(), "1.3");
    QFile updater(application + "/Updater.app/Contents/MacOS/OvPiktoUpdater");
    ASSERT_TRUE(updater.open(QIODevice::ReadOnly));
    EXPECT_EQ(updater.readAll(), "new updater");
    EXPECT_EQ(QDir(dir.filePath("root/Plugins"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Ov.Pikto.Export.iPhotoExporter"});
}

TEST_F(UpdateInstallerTest, AMissingNewFolderTouchesNothing) {
    ASSERT_TRUE(QDir(unpacked + "/Оврана.Пикто").removeRecursively());
    UpdateInstaller installer;
    EXPECT_TRUE(installer.install(unpacked, plugins, application).contains("Оврана.Пикто"));
    EXPECT_EQ(tree(dir.filePath("root")), installed);
}

TEST_F(UpdateInstallerTest, ALinkInANewFolderIsRefused) {
    ASSERT_TRUE(
        QFile::link(dir.path(), unpacked + "/Ov.Pikto.Export.iPhotoExporter/Contents/escape"));
    UpdateInstaller installer;
    EXPECT_FALSE(installer.install(unpacked, plugins, application).isEmpty());
    EXPECT_EQ(tree(dir.filePath("root")), installed);
}

TEST(ArchiveEntriesTest, OrdinaryEntriesPassAndEscapesAreRefused) {
    QTemporaryDir dir;
    const auto check = [&](const ZipWriter& zip) {
        const QString path = dir.filePath("a.zip");
        EXPECT_TRUE(writeFile(path, zip.bytes()));
        return ArchiveCheck::checkEntries(path);
    };
    ZipWriter good;
    good.addFile("Ov.Pikto.Export.iPhotoExporter/Contents/Info.plist", "x");
    good.addFile("Оврана.Пикто/a..b/c", "dots inside a name are fine");
    EXPECT_EQ(check(good), QString());
    for (const QByteArray& name :
         {QByteArray("/etc/passwd"), QByteArray("../x"), QByteArray("a/../../x"),
          QByteArray("a\\..\\x"), QByteArray("..")}) {
        ZipWriter bad = good;
        bad.addFile(name, "x");
        EXPECT_FALSE(check(bad).isEmpty()) << name.constData();
    }
    ZipWriter link = good;
    link.addLink("Оврана.Пикто/l", "/");
    EXPECT_FALSE(check(link).isEmpty());
    EXPECT_TRUE(
        writeFile(dir.filePath("b.zip"), "not a zip at all, but long enough to be searched"));
    EXPECT_FALSE(ArchiveCheck::checkEntries(dir.filePath("b.zip")).isEmpty());
}

TEST(FormatTextTest, PlaceholdersTakeTheArgumentsInOrder) {
    EXPECT_EQ(FormatText::fill("версия %@ вместо %@", {"1.3.0", "1.2.0"}),
              "версия 1.3.0 вместо 1.2.0");
    EXPECT_EQ(FormatText::fill("100%% %@", {"%@"}), "100% %@");
    EXPECT_EQ(FormatText::fill("%@ and %@", {"one"}), "one and ");
    EXPECT_EQ(FormatText::fill("trailing %", {}), "trailing %");
}

} // namespace
