// pikto sync run for real against the stand-in service: what a run sends, and what it
// refuses to do with its record.
#include "piktofixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <functional>
#include <signal.h>

namespace {

class PiktoSync : public Pikto {
protected:
    void SetUp() override {
        Pikto::SetUp();
        const Outcome created = pikto({"album", "create", "--title", "Sync"});
        ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
        album = created.out.trimmed();
    }

    static bool writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
               file.write(bytes) == bytes.size();
    }
    // `size` bytes that depend on `seed`, as `name` in the photo folder.
    void write(const QString& name, int seed, qint64 size = 1000) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 31 + seed * 7) % 251);
        ASSERT_TRUE(writeFile(photos.filePath(name), bytes));
    }

    QStringList syncArgs(const QStringList& extra = {}) const {
        return QStringList{"sync", photos.path(), "--album", album} + extra;
    }
    Outcome sync(const QStringList& extra = {}) { return pikto(syncArgs(extra)); }
    // The photos the service was sent so far.
    qsizetype uploads() const { return service.requests().count(QStringLiteral("POST /post/")); }
    // The one record made so far; empty when there is none.
    QString recordPath() const {
        const QFileInfoList found = QDir(state.filePath("pikto")).entryInfoList({"*.sqlite"});
        return found.size() == 1 ? found.first().filePath() : QString();
    }

    QTemporaryDir photos;
    QString album;
};

TEST_F(PiktoSync, ALaterSyncSendsOnlyContentTheAlbumLacks) {
    const char* const names[] = {"a.jpg",       "b.jpg",         "sub/c.jpg",
                                 ".hidden.jpg", ".thumbs/d.jpg", "line\nbreak.jpg"};
    for (int i = 0; i < 6; ++i)
        write(names[i], i + 1);
    const Outcome first = sync();
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.endsWith(QStringLiteral("sent 3, already there 0, set aside 1, failed 0\n"
                                                  "%1/users/anna/album/%2/\n")
                                       .arg(service.origin(), album)))
        << first.out.toStdString();
    EXPECT_TRUE(first.err.contains(QStringLiteral("line\\nbreak.jpg: its name holds a line break")))
        << first.err.toStdString();

    const struct {
        const char* change;
        std::function<void()> apply;
        int sent;
    } table[] = {
        {"nothing", [] {}, 0},
        {"renamed", [&] { QFile::rename(photos.filePath("a.jpg"), photos.filePath("z.jpg")); }, 0},
        {"moved", [&] { QFile::rename(photos.filePath("b.jpg"), photos.filePath("sub/b.jpg")); },
         0},
        {"copied", [&] { QFile::copy(photos.filePath("sub/c.jpg"), photos.filePath("c.jpg")); }, 0},
        {"changed", [&] { write("sub/c.jpg", 7); }, 1},
        {"added", [&] { write("e.jpg", 8); }, 1},
    };
    for (const auto& row : table) {
        row.apply();
        const qsizetype before = uploads();
        const Outcome run = sync();
        EXPECT_EQ(run.exitCode, 0) << row.change << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("sent %1, already there").arg(row.sent)))
            << row.change << ": " << run.out.toStdString();
        EXPECT_EQ(uploads() - before, row.sent) << row.change;
    }
}

TEST_F(PiktoSync, AKilledSyncSendsOnlyTheRestWhenRunAgain) {
    for (int i = 1; i <= 5; ++i)
        write(QStringLiteral("%1.jpg").arg(i), i, i == 4 ? 4 << 20 : 1000);
    QProcess run;
    run.setProcessEnvironment(environment());
    run.start(PiktoProcess::executable(), commandLine(syncArgs()));
    // Killed once the third photo is confirmed and recorded, while the large fourth goes.
    QByteArray out;
    while (!out.contains("photo 3 of 5 done") && run.waitForReadyRead(20000))
        out += run.readAllStandardOutput();
    ASSERT_TRUE(out.contains("photo 3 of 5 done")) << out.toStdString();
    ::kill(pid_t(run.processId()), SIGKILL);
    ASSERT_TRUE(run.waitForFinished());

    const qsizetype before = uploads();
    const Outcome again = sync();
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(
        again.out.contains(QStringLiteral("sent 2, already there 3, set aside 0, failed 0")))
        << again.out.toStdString();
    EXPECT_EQ(uploads() - before, 2);
}

TEST_F(PiktoSync, ADryRunListsWhatWouldGoAndSendsNothing) {
    write("a.jpg", 1);
    write("sub/b.jpg", 2);
    const Outcome run = sync({"--dry-run"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral(
        "would send a.jpg\nwould send sub/b.jpg\nwould send 2, already there 0, set aside 0\n")))
        << run.out.toStdString();
    EXPECT_EQ(uploads(), 0);
    EXPECT_TRUE(recordPath().isEmpty());
}

TEST_F(PiktoSync, ADamagedOrUnreadableRecordIsRefusedAndLeftAsItIs) {
    write("a.jpg", 1);
    ASSERT_EQ(sync().exitCode, 0);
    write("b.jpg", 2);
    const QString record = recordPath();
    const auto contents = [&record] {
        QFile file(record);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray good = contents();
    const struct {
        const char* what;
        QByteArray bytes; // null: a folder in the record's place
    } table[] = {{"not a database", QByteArray(4096, 'x')},
                 {"cut short", good.left(good.size() / 2)},
                 {"a folder", {}}};
    for (const auto& row : table) {
        ASSERT_TRUE(QFile::remove(record) || QDir().rmdir(record)) << row.what;
        ASSERT_TRUE(row.bytes.isNull() ? QDir().mkdir(record) : writeFile(record, row.bytes));
        const Outcome run = sync();
        EXPECT_EQ(run.exitCode, 64) << row.what;
        EXPECT_TRUE(
            run.err.contains(QStringLiteral("sync: cannot use the record %1: ").arg(record)))
            << row.what << ": " << run.err.toStdString();
        EXPECT_EQ(contents(), row.bytes) << row.what;
        EXPECT_EQ(uploads(), 1) << row.what;
    }
}

} // namespace
