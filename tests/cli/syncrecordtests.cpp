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

int modeOf(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777)
                                                                     : -1;
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList names(const SyncPlan& plan) {
    QStringList names;
    for (const SyncPlan::Photo& photo : plan.toSend)
        names.append(photo.name);
    return names;
}

TEST(SyncRecord, IsPrivateAndWrittenByOneRunAtATime) {
    QTemporaryDir dir;
    const QString path = SyncRecord::pathFor(dir.filePath(QStringLiteral("state/pikto")), key);
    QString error;
    auto first = SyncRecord::open(path, key, true, &error);
    ASSERT_TRUE(first) << error.toStdString();
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(modeOf(dir.filePath(QStringLiteral("state/pikto"))), 0700);

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
    write(photos + QStringLiteral("/a.jpg"), "one");
    write(photos + QStringLiteral("/sub/c.jpg"), "two");
    write(photos + QStringLiteral("/.hidden.jpg"), "three");
    write(photos + QStringLiteral("/.cache/d.jpg"), "four");
    QString error;
    auto record = SyncRecord::open(SyncRecord::pathFor(dir.filePath(QStringLiteral("state")), key),
                                   key, true, &error);
    ASSERT_TRUE(record) << error.toStdString();
    const SyncPlan first = SyncPlan::make(photos, *record);
    ASSERT_EQ(names(first), QStringList({"a.jpg", "sub/c.jpg"}));
    for (const SyncPlan::Photo& photo : first.toSend)
        ASSERT_TRUE(record->markSent(photo.path, photo.seen, &error)) << error.toStdString();

    // Other bytes of the same size at the same time: taken as recorded, without reading.
    const QByteArray a = QFile::encodeName(photos + QStringLiteral("/a.jpg"));
    struct stat was {};
    ASSERT_EQ(::stat(a.constData(), &was), 0);
    write(QString::fromUtf8(a), "eno");
    const timespec times[2] = {was.st_atim, was.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, a.constData(), times, 0), 0);
    const SyncPlan unchanged = SyncPlan::make(photos, *record);
    EXPECT_TRUE(unchanged.toSend.isEmpty());
    EXPECT_EQ(unchanged.alreadyThere, 2);
    EXPECT_TRUE(unchanged.newlySeen.isEmpty());

    // A new time: read again, and its new content goes.
    ASSERT_EQ(::utimensat(AT_FDCWD, a.constData(), nullptr, 0), 0);
    EXPECT_EQ(names(SyncPlan::make(photos, *record)), QStringList({"a.jpg"}));
}

} // namespace
