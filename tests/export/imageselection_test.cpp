// Which selected files are sent and which are set aside for their size.
#include "ovpiktoimageselection.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ImageSelection : public ::testing::Test {
protected:
    // A sparse file of `size` bytes: no disk space is used for the large ones.
    QString makeFile(const QString& name, qint64 size) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(file.resize(size));
        return path;
    }

    OvPiktoImageSelection::Lists select(const QStringList& paths) {
        return OvPiktoImageSelection::makeListOfImagesToUpload([&] { return int(paths.size()); },
                                                               [&](int i) { return paths.at(i); });
    }

    QTemporaryDir dir;
};

TEST_F(ImageSelection, TwentyMibAndAboveAreSkippedOneByteLessIsSent) {
    const QString small = makeFile(QStringLiteral("small.jpg"), 1000);
    const QString limit = makeFile(QStringLiteral("limit.jpg"), 20971519);
    const QString twenty = makeFile(QStringLiteral("twenty.jpg"), 20971520);
    const QString huge = makeFile(QStringLiteral("huge.jpg"), 3LL * 1024 * 1024 * 1024);
    const auto lists = select({twenty, small, huge, limit});
    EXPECT_EQ(lists.imagesToUpload, QStringList({small, limit}));
    EXPECT_EQ(lists.skippedImages, QStringList({twenty, huge}));
}

TEST_F(ImageSelection, UnreadableSizesAreLeftOutOfBothLists) {
    const QString kept = makeFile(QStringLiteral("kept.jpg"), 10);
    const QString missing = dir.filePath(QStringLiteral("gone.jpg"));
    const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
    ASSERT_TRUE(QFile::link(missing, broken));
    const auto lists = select({missing, kept, broken, QString()});
    EXPECT_EQ(lists.imagesToUpload, QStringList({kept}));
    EXPECT_TRUE(lists.skippedImages.isEmpty());
}

TEST_F(ImageSelection, LinksAreJudgedByTheFileTheyPointTo) {
    const QString big = makeFile(QStringLiteral("big.jpg"), 25 * 1024 * 1024);
    const QString link = dir.filePath(QStringLiteral("link.jpg"));
    ASSERT_TRUE(QFile::link(big, link));
    const auto lists = select({link});
    EXPECT_TRUE(lists.imagesToUpload.isEmpty());
    EXPECT_EQ(lists.skippedImages, QStringList({link}));
}

TEST_F(ImageSelection, CountIsAskedOnEveryPass) {
    const QString a = makeFile(QStringLiteral("a.jpg"), 1);
    const QString b = makeFile(QStringLiteral("b.jpg"), 2);
    int count = 2;
    const auto lists = OvPiktoImageSelection::makeListOfImagesToUpload(
        [&] { return count; },
        [&](int i) {
            count = 1; // the selection shrinks while it is read
            return i == 0 ? a : b;
        });
    EXPECT_EQ(lists.imagesToUpload, QStringList({a}));
}

} // namespace
