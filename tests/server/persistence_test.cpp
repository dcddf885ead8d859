// What pikto-service keeps in its data folder across a restart.

#include "serviceprocess.h"
#include "testhttp.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kEntry = "<entry xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\">"
                          "<title>Kept</title><summary>across runs</summary>"
                          "<f:password>pw</f:password></entry>";

TEST(PersistenceTest, RestartKeepsAlbumsAndTokens) {
    ServiceProcess service({{QStringLiteral("alice:secret")}, {QStringLiteral("alice:tok-1")}, {}});
    ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    const QByteArray auth = TestHttp::zimpToken("tok-1");
    const HttpResponse created = TestHttp::send(
        "POST", service.origin() + QStringLiteral("/api//users/alice/albums/"), auth, kEntry);
    ASSERT_EQ(created.status, 201);

    // The second run gets no accounts or tokens on its command line.
    service.setOptions({});
    ASSERT_TRUE(service.restart()) << service.lastError().toStdString();
    const HttpResponse list =
        TestHttp::send("GET", service.origin() + QStringLiteral("/api//users/alice/albums/"), auth);
    ASSERT_EQ(list.status, 200);
    EXPECT_TRUE(list.data.contains("<title>Kept</title>"));
    EXPECT_TRUE(list.data.contains("<summary>across runs</summary>"));
    EXPECT_TRUE(list.data.contains("<f:protected value=\"true\"/>"));
    // A new run starts a new request log.
    EXPECT_EQ(service.requests(), QStringList{QStringLiteral("GET /api//users/alice/albums/")});
}

TEST(PersistenceTest, StopRemovesTheDataFolderWithTheObject) {
    QString folder;
    {
        ServiceProcess service;
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        folder = service.dataDir();
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/pikto.sqlite")));
    }
    EXPECT_FALSE(QFileInfo::exists(folder));
}

} // namespace
