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

    // Writes `size` bytes that depend on `seed` to `name` in the photo folder.
    void write(const QString& name, int seed, qint64 size = 1000) {
        const QString path = photos.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 31 + seed * 7) % 251);
        file.write(bytes);
    }

    QStringList syncArgs(const QStringList& extra = {}) const {
        return QStringList{"sync", photos.path(), "--album", album} + extra;
    }
    Outcome sync(const QStringList& extra = {}) { return pikto(syncArgs(extra)); }
    // The photos the service was sent so far.
    qsizetype uploads() const { return service.requests().count(QStringLiteral("POST /post/")); }
    // The record the runs so far made; empty when there is none.
    QString recordPath() const {
        const QDir folder(state.filePath(QStringLiteral("pikto")));
        const QStringList records = folder.entryList({QStringLiteral("*.sqlite")});
        return records.size() == 1 ? folder.filePath(records.first()) : QString();
    }

    QTemporaryDir photos;
    QString album;
};

TEST_F(PiktoSync, ALaterSyncSendsOnlyContentTheAlbumLacks) {
    write("a.jpg", 1);
    write("b.jpg", 2);
    write("sub/c.jpg", 3);
    write(".hidden.jpg", 4);
    write(".thumbs/d.jpg", 5);
    write("line\nbreak.jpg", 6);
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
        {"moved",
         [&] {
             QDir().mkpath(photos.filePath("sub/deeper"));
             QFile::rename(photos.filePath("b.jpg"), photos.filePath("sub/deeper/b.jpg"));
         },
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
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    const struct {
        const char* what;
        QByteArray bytes; // null: a folder in the record's place
        const char* message;
    } table[] = {
        {"not a database", QByteArray(4096, 'x'), "cannot use the record"},
        {"cut short", good.left(good.size() / 2), "cannot use the record"},
        {"a folder", {}, "is not a file"},
    };
    for (const auto& row : table) {
        ASSERT_TRUE(QFile::remove(record) || QDir().rmdir(record)) << row.what;
        if (row.bytes.isNull()) {
            ASSERT_TRUE(QDir().mkdir(record));
        } else {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(row.bytes);
            file.close();
        }
        const Outcome run = sync();
        EXPECT_EQ(run.exitCode, 64) << row.what;
        EXPECT_TRUE(run.err.contains(QStringLiteral("sync: ")) && run.err.contains(record) &&
                    run.err.contains(QLatin1String(row.message)))
            << row.what << ": " << run.err.toStdString();
        if (row.bytes.isNull()) {
            EXPECT_TRUE(QFileInfo(record).isDir()) << row.what;
        } else {
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), row.bytes) << row.what;
            file.close();
        }
        EXPECT_EQ(uploads(), 1) << row.what;
    }
}

} // namespace
