// The host's command line and export manager.
#include "exportmanager.h"
#include "hostoptions.h"

#include <gtest/gtest.h>

namespace {

std::optional<HostOptions> parse(const QStringList& arguments, QString* error = nullptr) {
    return HostOptions::parse(arguments, error);
}

TEST(HostOptionsTest, ReadsLibrarySelectionExportAndScreenshot) {
    const auto options = parse({"--library", "/photos", "--select", "a.jpg", "/elsewhere/b.jpg",
                                "--export", "--screenshot", "/tmp/shot.png"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->libraryDir, QStringLiteral("/photos"));
    EXPECT_EQ(options->select, QStringList({"a.jpg", "/elsewhere/b.jpg"}));
    EXPECT_EQ(options->selectedPaths(), QStringList({"/photos/a.jpg", "/elsewhere/b.jpg"}));
    EXPECT_TRUE(options->openExport);
    EXPECT_EQ(options->screenshotFile, QStringLiteral("/tmp/shot.png"));
}

TEST(HostOptionsTest, DefaultsToThePicturesFolderWithoutExport) {
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", "/home/anna");
    const auto options = parse({});
    qputenv("HOME", savedHome);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->libraryDir, QStringLiteral("/home/anna/Pictures"));
    EXPECT_TRUE(options->select.isEmpty());
    EXPECT_FALSE(options->openExport);
    EXPECT_TRUE(options->screenshotFile.isEmpty());
}

TEST(HostOptionsTest, RefusesUnknownArgumentsAndMissingValues) {
    QString error;
    EXPECT_FALSE(parse({"--colour", "red"}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("--colour")));
    EXPECT_FALSE(parse({"--library"}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("--library")));
    EXPECT_FALSE(parse({"--screenshot", "--export"}, &error));
}

TEST(ExportManagerTest, AnswersTheSelectionAndForwardsClickExport) {
    ExportManager manager;
    EXPECT_EQ(manager.imageCount(), 0u);
    EXPECT_TRUE(manager.imagePathAtIndex(0).isEmpty());
    manager.setSelection({"/p/1.jpg", "/p/2.jpg"});
    EXPECT_EQ(manager.imageCount(), 2u);
    EXPECT_EQ(manager.imagePathAtIndex(1), QStringLiteral("/p/2.jpg"));
    EXPECT_TRUE(manager.imagePathAtIndex(2).isEmpty());

    manager.clickExport(); // no handler: nothing happens
    int clicks = 0;
    manager.setClickExportHandler([&clicks] { ++clicks; });
    manager.clickExport();
    EXPECT_EQ(clicks, 1);
}

} // namespace
