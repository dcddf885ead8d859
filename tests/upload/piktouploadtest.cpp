// `pikto upload` run for real against the stand-in service.
#include "piktoprocess.h"
#include "serviceprocess.h"
#include "sitepages.h"
#include "synchttp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using PiktoRun = PiktoProcess::Outcome;

class PiktoUpload : public ::testing::Test {
protected:
    void SetUp() override {
        // The stored photos are read back through the album page as an anonymous visitor.
        service.setExtraArguments({QStringLiteral("--legacy-open-pages")});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        const PiktoRun created = pikto({"album", "create", "--title", "Trip"});
        ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
        albumId = created.out.trimmed();
    }

    // A file of `size` bytes whose content depends on `seed`.
    QString makeFile(const QString& name, qint64 size, int seed = 1) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 31 + seed * 7) % 251);
        file.write(bytes);
        return path;
    }

    // Runs pikto as the demo user with the service's address; with `script` given, on a
    // pseudo-terminal that program provides.
    PiktoRun pikto(const QStringList& args, const QString& script = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PIKTO_PASSWORD"), QStringLiteral("password"));
        return PiktoProcess::run(QStringList{QStringLiteral("--service"), service.origin(),
                                             QStringLiteral("--login"), QStringLiteral("demo")} +
                                     args,
                                 env, {}, script);
    }

    QString albumPage() {
        HttpRequest request;
        request.url = QStringLiteral("%1/users/demo/album/%2/").arg(service.origin(), albumId);
        return QString::fromUtf8(SyncHttp::send(request).data);
    }

    QStringList listedNames() {
        // The page shows the newest first: the names in upload order.
        QStringList names;
        for (const SitePages::Photo& photo : SitePages::albumPhotos(albumPage()))
            names.prepend(photo.name);
        return names;
    }

    ServiceProcess service{{{QStringLiteral("demo:password")}, {}, {}}};
    QTemporaryDir dir;
    QString albumId;
};

TEST_F(PiktoUpload, SendsEveryFileInOrderAndEndsWithTheAlbumAddress) {
    const QString a = makeFile(QStringLiteral("a.jpg"), 300 * 1024, 1);
    const QString b = makeFile(QStringLiteral("фото b.jpg"), 2 * 1024 * 1024, 2);
    const QString c = makeFile(QStringLiteral("c.jpg"), 10, 3);
    const PiktoRun run = pikto({"upload", "--album", albumId, "--access", "friends",
                                "--disable-comments", "--hide-original", a, b, c});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    // Not a terminal: plain lines as each photo starts and ends.
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8) << run.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("photo 1 of 3: a.jpg"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("photo 1 of 3 done: 301 KiB of 2.")));
    EXPECT_EQ(lines[2], QStringLiteral("photo 2 of 3: фото b.jpg"));
    EXPECT_EQ(lines[4], QStringLiteral("photo 3 of 3: c.jpg"));
    const QRegularExpressionMatch done =
        QRegularExpression(QStringLiteral("^photo 3 of 3 done: (\\S+ MiB) of (\\S+ MiB)$"))
            .match(lines[5]);
    ASSERT_TRUE(done.hasMatch()) << lines[5].toStdString();
    EXPECT_EQ(done.captured(1), done.captured(2));
    EXPECT_EQ(lines[6], QStringLiteral("3 photos uploaded"));
    EXPECT_EQ(lines[7], QStringLiteral("%1/users/demo/album/%2/").arg(service.origin(), albumId));

    EXPECT_EQ(listedNames(), QStringList({"a.jpg", "фото b.jpg", "c.jpg"}));
    const QString page = albumPage();
    EXPECT_EQ(page.count(QStringLiteral("data-access=\"friends\"")), 3);
    EXPECT_EQ(page.count(QStringLiteral("data-flag=\"disable_comments\"")), 3);
    EXPECT_EQ(page.count(QStringLiteral("data-flag=\"hide_orig\"")), 3);
    EXPECT_FALSE(page.contains(QStringLiteral("data-flag=\"xxx\"")));
}

TEST_F(PiktoUpload, SetsAsideFilesOf20MiBOrMore) {
    const QString limit = makeFile(QStringLiteral("limit.jpg"), 20 * 1024 * 1024);
    const QString under = makeFile(QStringLiteral("under.jpg"), 20 * 1024 * 1024 - 1);
    const PiktoRun run = pikto({"upload", "--album", albumId, limit, under});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("skipped %1: 20 MiB or more").arg(limit)))
        << run.err.toStdString();
    EXPECT_EQ(listedNames(), QStringList({"under.jpg"}));

    const PiktoRun alone = pikto({"upload", "--album", albumId, limit});
    EXPECT_EQ(alone.exitCode, 64);
    EXPECT_TRUE(alone.err.contains(QStringLiteral("nothing left to upload")));
}

TEST_F(PiktoUpload, StopsAtTheFirstFailureWithItsResultCode) {
    const QString a = makeFile(QStringLiteral("a.jpg"), 1000, 1);
    const QString b = makeFile(QStringLiteral("b.jpg"), 1000, 2);
    ASSERT_TRUE(
        service.fault(QStringLiteral("/post/"), QStringLiteral("status"), 1, 200, "Upload failed"));
    const PiktoRun refused = pikto({"upload", "--album", albumId, a, b});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(
        QStringLiteral("%1: the service refused the photo (Upload failed)").arg(a)))
        << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("0 of 2 photos uploaded")));
    EXPECT_FALSE(refused.out.contains(QStringLiteral("/album/")));
    EXPECT_TRUE(listedNames().isEmpty());

    const PiktoRun missing = pikto({"upload", "--album", "999", a});
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("album not found")))
        << missing.err.toStdString();
}

TEST_F(PiktoUpload, GivesUpOnAStalledServiceAfterTheUploaderTimeOut) {
    const QString a = makeFile(QStringLiteral("a.jpg"), 1000, 1);
    ASSERT_TRUE(service.fault(QStringLiteral("/post/"), QStringLiteral("stall"), 2, 0, {},
                              {{QStringLiteral("seconds"), 60}}));
    QElapsedTimer clock;
    clock.start();
    const PiktoRun run = pikto({"upload", "--album", albumId, a});
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("nothing moved for 7 s"))) << run.err.toStdString();
    EXPECT_LT(clock.elapsed(), 40000) << "gave up long before the service would have answered";
}

TEST_F(PiktoUpload, RefusesBadArgumentsBeforeSendingAnything) {
    const QString a = makeFile(QStringLiteral("a.jpg"), 1000);
    const struct {
        QStringList args;
        const char* message;
    } table[] = {
        {{"upload", "--album", albumId, "--access", "everyone", a}, "--access must be"},
        {{"upload", "--album", albumId, dir.filePath(QStringLiteral("none.jpg"))}, "cannot read"},
        {{"upload", "--album", albumId, dir.path()}, "cannot read"},
    };
    for (const auto& row : table) {
        const PiktoRun run = pikto(row.args);
        EXPECT_EQ(run.exitCode, 64) << row.message;
        EXPECT_TRUE(run.err.contains(QLatin1String(row.message))) << run.err.toStdString();
    }
    EXPECT_FALSE(service.requests().contains(QStringLiteral("POST /post/")));
}

TEST_F(PiktoUpload, DrawsAProgressBarOnATerminal) {
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        GTEST_SKIP() << "no `script` to give pikto a terminal";
    const QString a = makeFile(QStringLiteral("a.jpg"), 1024 * 1024);
    const PiktoRun run = pikto({"upload", "--album", albumId, a}, script);
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("\r\033[Kphoto 1 of 1 [")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("[########################] 1.00 MiB of 1.00 MiB")))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("photo 1 of 1: a.jpg")));
}

} // namespace
