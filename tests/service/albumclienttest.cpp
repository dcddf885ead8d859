#include "log.h"
#include "ovpiktoexportercommlayer.h"
#include "serviceprocess.h"
#include "serviceresult.h"

#include <QDomElement>
#include <QElapsedTimer>

#include <memory>

#include <gtest/gtest.h>

namespace {

const QString albumsPath = QStringLiteral("/api//users/anna/albums/");

QString albumPath(const QString& id) {
    return QStringLiteral("/api//users/anna/album/%1/").arg(id);
}

class AlbumClient : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        service = std::make_unique<ServiceProcess>(ServiceProcess::Options{
            {"anna:pw-anna", "boris:pw-boris"}, {"anna:tok-anna", "boris:tok-boris"}, {}});
        ASSERT_TRUE(service->start());
    }
    static void TearDownTestSuite() { service.reset(); }
    void SetUp() override {
        client = OvPiktoExporterCommLayer(service->urls());
        service->clearFaults();
        anna.setToken(QStringLiteral("tok-anna"));
        // Each test starts from an account without albums.
        int error = -1;
        const auto albums = client.getUserAlbumsWithCredentials(anna, &error);
        ASSERT_TRUE(albums.has_value());
        for (const auto& album : *albums)
            client.deleteUserAlbumByID(album.albumId(), anna, &error);
    }
    void TearDown() override { Log::setSink({}); }

    QString create(const QString& title, const QString& password = {}) {
        int error = -1;
        const QString id = client.createNewUserAlbumWithTitle(title, QStringLiteral("about"),
                                                              password, anna, &error);
        EXPECT_EQ(error, ServiceResult::Success);
        return id;
    }

    static std::unique_ptr<ServiceProcess> service;
    OvPiktoExporterCommLayer client{ServiceUrls()}; // made for the running service in SetUp
    OVPiktoCredentials anna{QStringLiteral("anna"), QStringLiteral("pw-anna")};
};

std::unique_ptr<ServiceProcess> AlbumClient::service;

void expectOnlyThePlaceholder(const std::optional<QList<OvPiktoAlbum>>& albums, int error) {
    EXPECT_EQ(error, ServiceResult::Success);
    ASSERT_TRUE(albums.has_value());
    ASSERT_EQ(albums->size(), 1);
    EXPECT_EQ(albums->at(0).albumId(), "-1");
    EXPECT_EQ(albums->at(0).name(), QStringLiteral("Неразобранное"));
    EXPECT_EQ(albums->at(0).description(), "");
    EXPECT_EQ(albums->at(0).imagesCount(), 0);
    EXPECT_FALSE(albums->at(0).isLocked());
}

} // namespace

TEST_F(AlbumClient, AnAccountWithoutAlbumsListsThePlaceholder) {
    int error = -1;
    const auto albums = client.getUserAlbumsWithCredentials(anna, &error);
    expectOnlyThePlaceholder(albums, error);
}

TEST_F(AlbumClient, CreatedAlbumsListInServiceOrderWithTheirFields) {
    const QString first = create(QStringLiteral("Море & <горы>"), QStringLiteral("  secret  "));
    const QString second = create(QStringLiteral("Second \"quoted\""));
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());

    int error = -1;
    const auto albums = client.getUserAlbumsWithCredentials(anna, &error);
    ASSERT_TRUE(albums.has_value());
    ASSERT_EQ(albums->size(), 2);
    EXPECT_EQ(albums->at(0).albumId(), first);
    EXPECT_EQ(albums->at(0).name(), QStringLiteral("Море & <горы>"));
    EXPECT_EQ(albums->at(0).description(), "about");
    EXPECT_TRUE(albums->at(0).isLocked());
    EXPECT_EQ(albums->at(1).name(), QStringLiteral("Second \"quoted\""));
    EXPECT_FALSE(albums->at(1).isLocked());
}

TEST_F(AlbumClient, UpdateChangesTitleSummaryAndRemovesThePasswordWhenEmpty) {
    const QString id = create(QStringLiteral("Old"), QStringLiteral("pw"));
    int error = -1;
    client.updateUserAlbumWithID(id, QStringLiteral("New"), QStringLiteral("Summary"), " \n ", anna,
                                 &error);
    EXPECT_EQ(error, ServiceResult::Success);

    const auto entry = client.fetchAlbumDataWithID(id, anna, &error);
    ASSERT_TRUE(entry.has_value());
    const QDomElement root = entry->documentElement();
    EXPECT_EQ(root.firstChildElement("title").text(), "New");
    EXPECT_EQ(root.firstChildElement("summary").text(), "Summary");
    EXPECT_EQ(root.firstChildElement("f:protected").attribute("value"), "false");
}

TEST_F(AlbumClient, TheUpdateLogShowsTheBodyWithThePasswordMasked) {
    const QString id = create(QStringLiteral("Logged"));
    QStringList lines;
    Log::setSink([&](const QString& line) { lines << line; });
    int error = -1;
    client.updateUserAlbumWithID(id, QStringLiteral("T"), QStringLiteral("S"),
                                 QStringLiteral("top-secret"), anna, &error);
    Log::setSink({});
    EXPECT_EQ(error, ServiceResult::Success);
    const QStringList bodies = lines.filter("Body is (");
    ASSERT_EQ(bodies.size(), 1);
    EXPECT_TRUE(bodies[0].contains("<f:password>***</f:password>")) << bodies[0].toStdString();
    EXPECT_FALSE(bodies[0].contains("<?xml"));
    EXPECT_FALSE(lines.join('\n').contains("top-secret"));
    EXPECT_TRUE(lines.contains("code: 200"));
}

TEST_F(AlbumClient, DeletedAlbumsAreGoneAndThePlaceholderIsNeverSent) {
    const QString id = create(QStringLiteral("Doomed"));
    int error = -1;
    client.deleteUserAlbumByID(id, anna, &error);
    EXPECT_EQ(error, ServiceResult::Success);
    EXPECT_FALSE(client.fetchAlbumDataWithID(id, anna, &error).has_value());
    EXPECT_EQ(error, ServiceResult::AlbumNotFound);

    const qsizetype before = service->requests().size();
    error = -1;
    client.deleteUserAlbumByID(QStringLiteral("-1"), anna, &error);
    EXPECT_EQ(error, ServiceResult::Success);
    EXPECT_EQ(service->requests().size(), before);
}

TEST_F(AlbumClient, AnUpdateWhoseFetchIsRefusedIsNoConnection) {
    const QString id = create(QStringLiteral("Mine"));
    OVPiktoCredentials badToken(QStringLiteral("anna"), QString());
    badToken.setToken(QStringLiteral("forged"));
    int error = -1;
    client.updateUserAlbumWithID(id, "t", "s", "", badToken, &error);
    EXPECT_EQ(error, ServiceResult::NoConnection);
}

TEST_F(AlbumClient, EveryStatusMapsAsItsRequestsTableSays) {
    const QString id = create(QStringLiteral("Target"));
    struct Row {
        const char* request;
        int status;
        int code;
    };
    // The update's rows are in the wire tests: its fetch and its PUT share one path here.
    const Row rows[] = {
        {"list", 401, 3},   {"list", 403, 5},   {"list", 404, 1},   {"list", 500, 1},
        {"list", 201, 1},   {"fetch", 401, 3},  {"fetch", 404, 4},  {"fetch", 403, 5},
        {"fetch", 500, 1},  {"create", 403, 3}, {"create", 401, 5}, {"create", 200, 1},
        {"create", 404, 1}, {"delete", 403, 3}, {"delete", 404, 4}, {"delete", 401, 1},
        {"delete", 500, 1}, {"delete", 200, 0}, {"delete", 204, 0},
    };
    for (const Row& row : rows) {
        const QString request = QString::fromLatin1(row.request);
        int error = -1;
        if (request == "list") {
            ASSERT_TRUE(service->fault(albumsPath, "status", 1, row.status));
            client.getUserAlbumsWithCredentials(anna, &error);
        } else if (request == "fetch") {
            ASSERT_TRUE(service->fault(albumPath(id), "status", 1, row.status));
            client.fetchAlbumDataWithID(id, anna, &error);
        } else if (request == "create") {
            ASSERT_TRUE(service->fault(albumsPath, "status", 1, row.status));
            client.createNewUserAlbumWithTitle("t", "s", "", anna, &error);
        } else {
            ASSERT_TRUE(
                service->fault("/api/users/anna/album/" + id + "/", "status", 1, row.status));
            client.deleteUserAlbumByID(id, anna, &error);
        }
        EXPECT_EQ(error, row.code) << row.request << " answered " << row.status;
        service->clearFaults();
    }
}

TEST_F(AlbumClient, AnUnparsableListIsThePlaceholderWithSuccess) {
    ASSERT_TRUE(service->fault(albumsPath, "status", 1, 200, "this is <not xml"));
    int error = -1;
    const auto albums = client.getUserAlbumsWithCredentials(anna, &error);
    expectOnlyThePlaceholder(albums, error);
}

TEST_F(AlbumClient, AFetchedEntryWithoutIdIsNothingWithSuccess) {
    ASSERT_TRUE(service->fault(albumPath("5"), "status", 1, 200,
                               "<entry xmlns=\"http://www.w3.org/2005/Atom\"><title>t</title>"
                               "</entry>"));
    int error = -1;
    EXPECT_FALSE(client.fetchAlbumDataWithID("5", anna, &error).has_value());
    EXPECT_EQ(error, ServiceResult::Success);
}

TEST_F(AlbumClient, ACreateAnswerThatNamesNoAlbumIsAFailure) {
    ASSERT_TRUE(service->fault(albumsPath, "status", 1, 201,
                               "<entry xmlns=\"http://www.w3.org/2005/Atom\"><id>urn:x:42</id>"
                               "</entry>"));
    int error = -1;
    EXPECT_TRUE(client.createNewUserAlbumWithTitle("t", "s", "", anna, &error).isNull());
    EXPECT_EQ(error, ServiceResult::NoConnection);

    ASSERT_TRUE(service->fault(albumsPath, "status", 1, 201, "garbage"));
    EXPECT_TRUE(client.createNewUserAlbumWithTitle("t", "s", "", anna, &error).isNull());
    EXPECT_EQ(error, ServiceResult::NoConnection);
}

TEST_F(AlbumClient, ADroppedConnectionIsNoConnection) {
    // Qt resends once a request whose connection closed before any answer: drop two.
    ASSERT_TRUE(service->fault(albumsPath, "drop", 2));
    int error = -1;
    EXPECT_FALSE(client.getUserAlbumsWithCredentials(anna, &error).has_value());
    EXPECT_EQ(error, ServiceResult::NoConnection);

    ASSERT_TRUE(service->fault("/api/users/anna/album/7/", "drop", 2));
    client.deleteUserAlbumByID("7", anna, &error);
    EXPECT_EQ(error, ServiceResult::NoConnection);
}

TEST_F(AlbumClient, AStalledAnswerIsNoConnectionAfterTheTimeOut) {
    ASSERT_TRUE(service->fault(albumsPath, "stall", 1, 0, {}, {{"seconds", 12}}));
    QElapsedTimer clock;
    clock.start();
    int error = -1;
    EXPECT_FALSE(client.getUserAlbumsWithCredentials(anna, &error).has_value());
    EXPECT_EQ(error, ServiceResult::NoConnection);
    EXPECT_GE(clock.elapsed(), 3000);
    EXPECT_LT(clock.elapsed(), 10000) << "gave up at the 3 s time-out, not when the service did";
}

TEST_F(AlbumClient, ErrorPlaceIsOptional) {
    const auto albums = client.getUserAlbumsWithCredentials(anna, nullptr);
    EXPECT_TRUE(albums.has_value());
    EXPECT_FALSE(create(QStringLiteral("no place")).isEmpty());
    EXPECT_FALSE(client.createNewUserAlbumWithTitle("x", "", "", anna, nullptr).isEmpty());
}
