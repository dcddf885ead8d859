// The sync record and the plan drawn from it, without a service.
#include "syncplan.h"
#include "syncrecord.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const SyncRecord::Key key{QStringLiteral("http://127.0.0.1:1"), QStringLiteral("anna"),
                          QStringLiteral("7")};

struct stat statusOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status;
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

TEST(SyncRecord, IsPrivateAndWrittenByOneRunAtATime) {
    QTemporaryDir dir;
    const QString path = SyncRecord::pathFor(dir.filePath(QStringLiteral("state/pikto")), key);
    QString error;
    auto first = SyncRecord::open(path, key, true, &error);
    ASSERT_TRUE(first) << error.toStdString();
    EXPECT_EQ(statusOf(path).st_mode & 0777, 0600u);
    EXPECT_EQ(statusOf(dir.filePath(QStringLiteral("state/pikto"))).st_mode & 0777, 0700u);

    EXPECT_FALSE(SyncRecord::open(path, key, true, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("another pikto sync of this album is running")))
        << error.toStdString();
    EXPECT_TRUE(SyncRecord::open(path, key, false, &error)) << "a dry run only reads";
    EXPECT_FALSE(
        SyncRecord::open(path, {key.origin, key.login, QStringLiteral("8")}, false, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("record of album 7"))) << error.toStdString();

    first.reset();
    EXPECT_TRUE(SyncRecord::open(path, key, true, &error)) << error.toStdString();
}

TEST(SyncPlan, ReadsAFileAgainOnlyWhenItsSizeOrTimeChanged) {
    QTemporaryDir dir;
    const QString photos = dir.filePath(QStringLiteral("photos"));
    const QString a = photos + QStringLiteral("/a.jpg");
    write(a, "one");
    write(photos + QStringLiteral("/sub/c.jpg"), "two");
    QString error;
    auto record = SyncRecord::open(SyncRecord::pathFor(dir.filePath(QStringLiteral("state")), key),
                                   key, true, &error);
    ASSERT_TRUE(record) << error.toStdString();
    const SyncPlan first = SyncPlan::make(photos, *record);
    ASSERT_EQ(first.toSend.size(), 2);
    EXPECT_EQ(first.toSend[0].name, QStringLiteral("a.jpg"));
    EXPECT_EQ(first.toSend[1].name, QStringLiteral("sub/c.jpg"));
    for (const SyncPlan::Photo& photo : first.toSend)
        ASSERT_TRUE(record->markSent(photo.path, photo.seen, &error)) << error.toStdString();

    // Other bytes of the same size at the same time: taken as recorded, without reading.
    const struct stat was = statusOf(a);
    write(a, "eno");
    const timespec times[2] = {was.st_atim, was.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(a).constData(), times, 0), 0);
    const SyncPlan unchanged = SyncPlan::make(photos, *record);
    EXPECT_TRUE(unchanged.toSend.isEmpty() && unchanged.newlySeen.isEmpty());
    EXPECT_EQ(unchanged.alreadyThere, 2);

    // A new time: read again, and its new content goes.
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(a).constData(), nullptr, 0), 0);
    const SyncPlan changed = SyncPlan::make(photos, *record);
    ASSERT_EQ(changed.toSend.size(), 1);
    EXPECT_EQ(changed.toSend[0].name, QStringLiteral("a.jpg"));
}

} // namespace
