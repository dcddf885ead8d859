// The pikto executable run for real against the stand-in service: output formats and
// exit statuses.
#include "piktofixture.h"

#include <QFile>
#include <QProcessEnvironment>

namespace {

TEST_F(Pikto, SignInSaysSoWithoutShowingSecrets) {
    const Outcome run = pikto({QStringLiteral("signin")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "signed in as anna\n");
    EXPECT_FALSE((run.out + run.err).contains(QStringLiteral("secret")));
}

TEST_F(Pikto, PasswordFromStandardInput) {
    const Outcome run = pikto({QStringLiteral("--password-stdin"), QStringLiteral("signin")},
                              QString(), "secret\n");
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "signed in as anna\n");
}

TEST_F(Pikto, WrongPasswordExits3) {
    const Outcome run = pikto({QStringLiteral("signin")}, QStringLiteral("wrong"));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains(QStringLiteral("wrong login or password")));
}

TEST_F(Pikto, UnreachableServiceExits2) {
    service.stop();
    const Outcome run = pikto({QStringLiteral("albums")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(run.err.isEmpty());
}

TEST_F(Pikto, UsageErrorsExit64WithUsage) {
    const QList<QStringList> misuses = {
        {},
        {QStringLiteral("albumz")},
        {QStringLiteral("album")},
        {QStringLiteral("album"), QStringLiteral("create")},
        {QStringLiteral("album"), QStringLiteral("create"), QStringLiteral("--title")},
        {QStringLiteral("album"), QStringLiteral("edit"), QStringLiteral("--title"),
         QStringLiteral("T"), QStringLiteral("--summary"), QStringLiteral("S")},
        {QStringLiteral("album"), QStringLiteral("delete"), QStringLiteral("1"),
         QStringLiteral("2")},
        {QStringLiteral("signin"), QStringLiteral("--password"), QStringLiteral("secret")},
        {QStringLiteral("check-update")},
    };
    for (const QStringList& args : misuses) {
        const Outcome run = pikto(args);
        EXPECT_EQ(run.exitCode, 64) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("usage: pikto")))
            << args.join(' ').toStdString();
    }
}

TEST_F(Pikto, MissingPasswordIsAUsageError) {
    const Outcome run = pikto({QStringLiteral("signin")}, QString());
    EXPECT_EQ(run.exitCode, 64);
    EXPECT_TRUE(run.err.contains(QStringLiteral("PIKTO_PASSWORD")));
}

TEST_F(Pikto, HelpOnEveryCommand) {
    const QList<QStringList> commands = {
        {},
        {QStringLiteral("signin")},
        {QStringLiteral("albums")},
        {QStringLiteral("album"), QStringLiteral("create")},
        {QStringLiteral("album"), QStringLiteral("edit")},
        {QStringLiteral("album"), QStringLiteral("delete")},
        {QStringLiteral("check-update")},
        {QStringLiteral("sync")},
    };
    for (const QStringList& command : commands) {
        const Outcome run = pikto(command + QStringList{QStringLiteral("--help")});
        EXPECT_EQ(run.exitCode, 0) << command.join(' ').toStdString();
        EXPECT_TRUE(
            run.out.startsWith(QStringLiteral("usage: pikto ") +
                               (command.isEmpty() ? QStringLiteral("[") : command.join(' '))))
            << run.out.toStdString();
    }
}

TEST_F(Pikto, EmptyAccountListsThePlaceholder) {
    EXPECT_EQ(albumLines(), QStringList{QStringLiteral("-1\tНеразобранное\t0\topen\t")});
}

TEST_F(Pikto, AlbumCreateEditDeleteRoundTrip) {
    const Outcome created =
        pikto({QStringLiteral("album"), QStringLiteral("create"), QStringLiteral("--title"),
               QStringLiteral("Sea & sky"), QStringLiteral("--summary"),
               QStringLiteral("Summer <2024>"), QStringLiteral("--password"), QStringLiteral("x")});
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    const QString id = created.out.trimmed();
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(albumLines(),
              QStringList{id + QStringLiteral("\tSea & sky\t0\tlocked\tSummer <2024>")});

    const Outcome edited = pikto(
        {QStringLiteral("album"), QStringLiteral("edit"), id, QStringLiteral("--title"),
         QStringLiteral("Sea"), QStringLiteral("--summary"), QStringLiteral("Line one\nline two")});
    ASSERT_EQ(edited.exitCode, 0) << edited.err.toStdString();
    // Without --password the album keeps its password.
    EXPECT_EQ(albumLines(),
              QStringList{id + QStringLiteral("\tSea\t0\tlocked\tLine one line two")});

    const Outcome deleted = pikto({QStringLiteral("album"), QStringLiteral("delete"), id});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.err.toStdString();
    EXPECT_EQ(albumLines(), QStringList{QStringLiteral("-1\tНеразобранное\t0\topen\t")});
}

TEST_F(Pikto, AlbumEditRemovesOrSetsThePasswordOnlyWhenAsked) {
    const Outcome created =
        pikto({QStringLiteral("album"), QStringLiteral("create"), QStringLiteral("--title"),
               QStringLiteral("Locked"), QStringLiteral("--password"), QStringLiteral("x")});
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    const QString id = created.out.trimmed();
    const auto edit = [this, &id](const QStringList& extra) {
        return pikto(QStringList{QStringLiteral("album"), QStringLiteral("edit"), id,
                                 QStringLiteral("--title"), QStringLiteral("Locked"),
                                 QStringLiteral("--summary"), QString()} +
                     extra);
    };

    const Outcome both = edit(
        {QStringLiteral("--password"), QStringLiteral("y"), QStringLiteral("--remove-password")});
    EXPECT_EQ(both.exitCode, 64);
    EXPECT_EQ(albumLines(), QStringList{id + QStringLiteral("\tLocked\t0\tlocked\t")});

    const Outcome removed = edit({QStringLiteral("--remove-password")});
    ASSERT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_EQ(albumLines(), QStringList{id + QStringLiteral("\tLocked\t0\topen\t")});

    const Outcome set = edit({QStringLiteral("--password"), QStringLiteral("z")});
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(albumLines(), QStringList{id + QStringLiteral("\tLocked\t0\tlocked\t")});
}

TEST_F(Pikto, EditingAMissingAlbumExits4) {
    const Outcome run =
        pikto({QStringLiteral("album"), QStringLiteral("edit"), QStringLiteral("999999"),
               QStringLiteral("--title"), QStringLiteral("T"), QStringLiteral("--summary"),
               QStringLiteral("S")});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(run.err.contains(QStringLiteral("album not found")));
}

TEST_F(Pikto, CheckUpdatePrintsNewerRelease) {
    publishFeed(QStringLiteral("1.2.9"), QStringLiteral("1.2.10"));
    const Outcome run = pikto({QStringLiteral("check-update"), QStringLiteral("1.2.9")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(
        run.out,
        QStringLiteral("1.2.10\t%1/OvPikto_1.2.10.zip\tFaster uploads\n").arg(service.origin()));
}

TEST_F(Pikto, CheckUpdateWithNewestInstalledSaysNoUpdate) {
    publishFeed(QStringLiteral("1.2.9"), QStringLiteral("1.2.10"));
    const Outcome run = pikto({QStringLiteral("check-update"), QStringLiteral("1.2.10")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "no update\n");
}

TEST_F(Pikto, CheckUpdateWithoutFeedExits2) {
    service.fault(QStringLiteral("/photo/"), QStringLiteral("drop"), 2);
    const Outcome run = pikto({QStringLiteral("check-update"), QStringLiteral("1.0")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
}

TEST_F(Pikto, ARefusedConnectionIsNamedWithTheAddress) {
    const Outcome run = PiktoProcess::run(
        {QStringLiteral("--service"), QStringLiteral("http://127.0.0.1:1"),
         QStringLiteral("--login"), QStringLiteral("anna"), QStringLiteral("albums")},
        [] {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("PIKTO_PASSWORD"), QStringLiteral("secret"));
            return env;
        }());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(
        QStringLiteral("sign-in: cannot reach http://127.0.0.1:1: connection refused")))
        << run.err.toStdString();
}

TEST_F(Pikto, AMissingFeedSaysItsStatus) {
    ASSERT_TRUE(service.fault(QStringLiteral("/photo/"), QStringLiteral("status"), 1, 404));
    const Outcome run = pikto({QStringLiteral("check-update"), QStringLiteral("1.0")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("check-update: the feed answered 404")))
        << run.err.toStdString();
}

TEST_F(Pikto, AServiceAddressThatIsNotHttpIsAUsageError) {
    const Outcome run =
        PiktoProcess::run({QStringLiteral("--service"), QStringLiteral("ftp://127.0.0.1/"),
                           QStringLiteral("check-update"), QStringLiteral("1.0")},
                          QProcessEnvironment::systemEnvironment());
    EXPECT_EQ(run.exitCode, 64);
    EXPECT_TRUE(run.err.contains(QStringLiteral("http:// or https:// only")))
        << run.err.toStdString();
}

TEST_F(Pikto, AnOversizedFeedIsNamedAsTooLarge) {
    QFile feed(releases.filePath(QStringLiteral("versions.xml")));
    ASSERT_TRUE(feed.open(QIODevice::WriteOnly));
    feed.write("<rss><channel>" + QByteArray(2 * 1024 * 1024, ' ') + "</channel></rss>");
    feed.close();
    const Outcome run = pikto({QStringLiteral("check-update"), QStringLiteral("1.0")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(
        QStringLiteral("check-update: the answer of the feed is larger than 1 MiB")))
        << run.err.toStdString();
}

TEST_F(Pikto, AnUnreadableListWarnsButListsThePlaceholder) {
    ASSERT_TRUE(service.fault(QStringLiteral("/api//users/anna/albums/"), QStringLiteral("status"),
                              1, 200, "<feed><entry></feed>"));
    const Outcome run = pikto({QStringLiteral("albums")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral("-1\tНеразобранное\t0\topen\t\n"));
    EXPECT_TRUE(run.err.contains(
        QStringLiteral("warning: albums: the answer of the service could not be read")))
        << run.err.toStdString();
}

} // namespace
