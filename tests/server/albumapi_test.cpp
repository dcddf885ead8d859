// The album API against a running pikto-service: the status each request answers, and the
// create / update / delete flow as the client drives it.

#include "serviceprocess.h"
#include "testhttp.h"

#include <QDomDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QByteArray kEmptyEntry = "<entry xmlns=\"http://www.w3.org/2005/Atom\" "
                               "xmlns:f=\"ovrana:pikto\">\n<title></title>\n<summary></summary>\n"
                               "</entry>\n";

QByteArray updateBody(const QString& title, const QString& summary, const QString& password) {
    QDomDocument doc;
    QDomElement entry = doc.createElement(QStringLiteral("entry"));
    entry.setAttribute(QStringLiteral("xmlns"), QStringLiteral("http://www.w3.org/2005/Atom"));
    entry.setAttribute(QStringLiteral("xmlns:f"), QStringLiteral("ovrana:pikto"));
    doc.appendChild(entry);
    auto add = [&](const QString& name, const QString& text) {
        QDomElement e = doc.createElement(name);
        e.appendChild(doc.createTextNode(text));
        entry.appendChild(e);
    };
    add(QStringLiteral("title"), title);
    add(QStringLiteral("summary"), summary);
    add(QStringLiteral("f:password"), password);
    return doc.toByteArray();
}

// The text of the root's child element `name`, or a null string.
QString childText(const QByteArray& document, const QString& name) {
    QDomDocument doc;
    if (!doc.setContent(document, false))
        return {};
    return doc.documentElement().firstChildElement(name).text();
}

QString childValue(const QByteArray& document, const QString& name) {
    QDomDocument doc;
    if (!doc.setContent(document, false))
        return {};
    return doc.documentElement().firstChildElement(name).attribute(QStringLiteral("value"));
}

QString albumIdOf(const QByteArray& entry) {
    const QString id = childText(entry, QStringLiteral("id"));
    const int at = id.indexOf(QStringLiteral("album:"));
    return at < 0 ? QString() : id.mid(at + 6);
}

class AlbumApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<ServiceProcess>(ServiceProcess::Options{
            {QStringLiteral("alice:secret"), QStringLiteral("bob:hunter2")},
            {QStringLiteral("alice:tok-alice"), QStringLiteral("bob:tok-bob")},
            {}});
        ASSERT_TRUE(service->start()) << service->lastError().toStdString();
    }

    QString url(const QString& path) const { return service->origin() + path; }

    QString createAlbum(const QByteArray& token = "tok-alice") {
        const HttpResponse created =
            TestHttp::send("POST", url(QStringLiteral("/api//users/alice/albums/")),
                           TestHttp::zimpToken(token), kEmptyEntry);
        EXPECT_EQ(created.status, 201);
        return albumIdOf(created.data);
    }

    std::unique_ptr<ServiceProcess> service;
};

struct StatusCase {
    const char* name;
    QByteArray method;
    QString path; // %1 is an album of alice
    QByteArray authorization;
    QByteArray body;
    int status;
};

TEST_F(AlbumApiTest, AnswersTheStatusEachRequestMaps) {
    const QString album = createAlbum();
    ASSERT_FALSE(album.isEmpty());
    const QByteArray alice = TestHttp::zimpToken("tok-alice");
    const QByteArray bob = TestHttp::zimpToken("tok-bob");
    const QByteArray unknown = TestHttp::zimpToken("no-such-token");
    const QByteArray entry = updateBody(QStringLiteral("t"), QStringLiteral("s"), {});

    const StatusCase cases[] = {
        {"list", "GET", "/api//users/alice/albums/", alice, {}, 200},
        {"list single slash", "GET", "/api/users/alice/albums/", alice, {}, 200},
        {"list without header", "GET", "/api//users/alice/albums/", {}, {}, 401},
        {"list unknown token", "GET", "/api//users/alice/albums/", unknown, {}, 401},
        {"list other scheme", "GET", "/api//users/alice/albums/", "Bearer tok-alice", {}, 401},
        {"list unterminated quote",
         "GET",
         "/api//users/alice/albums/",
         "ZimpToken realm=\"x\", token=\"tok-alice",
         {},
         401},
        {"list empty token", "GET", "/api//users/alice/albums/", "ZimpToken token=\"\"", {}, 401},
        {"list bare token",
         "GET",
         "/api//users/alice/albums/",
         "ZimpToken token=tok-alice",
         {},
         200},
        {"list other user", "GET", "/api//users/alice/albums/", bob, {}, 403},
        {"list unknown user", "GET", "/api//users/nobody/albums/", alice, {}, 403},
        {"fetch", "GET", "/api//users/alice/album/%1/", alice, {}, 200},
        {"fetch without header", "GET", "/api//users/alice/album/%1/", {}, {}, 401},
        {"fetch other user", "GET", "/api//users/alice/album/%1/", bob, {}, 403},
        {"fetch unknown album", "GET", "/api//users/alice/album/999/", alice, {}, 404},
        {"fetch non-numeric album", "GET", "/api//users/alice/album/abc/", alice, {}, 404},
        {"fetch placeholder", "GET", "/api//users/alice/album/-1/", alice, {}, 404},
        {"fetch bob's album as bob at alice", "GET", "/api//users/bob/album/%1/", bob, {}, 404},
        {"update", "PUT", "/api//users/alice/album/%1/", alice, entry, 200},
        {"update without header", "PUT", "/api//users/alice/album/%1/", {}, entry, 401},
        {"update other user", "PUT", "/api//users/alice/album/%1/", bob, entry, 403},
        {"update unknown album", "PUT", "/api//users/alice/album/999/", alice, entry, 404},
        {"update malformed xml", "PUT", "/api//users/alice/album/%1/", alice, "<entry><title>",
         400},
        {"update not an entry", "PUT", "/api//users/alice/album/%1/", alice, "<feed/>", 400},
        {"update empty body", "PUT", "/api//users/alice/album/%1/", alice, {}, 400},
        {"create without header", "POST", "/api//users/alice/albums/", {}, kEmptyEntry, 403},
        {"create unknown token", "POST", "/api//users/alice/albums/", unknown, kEmptyEntry, 403},
        {"create other user", "POST", "/api//users/alice/albums/", bob, kEmptyEntry, 401},
        {"create malformed xml", "POST", "/api//users/alice/albums/", alice, "<entry", 400},
        {"delete without header", "DELETE", "/api/users/alice/album/%1/", {}, {}, 403},
        {"delete other user", "DELETE", "/api/users/alice/album/%1/", bob, {}, 403},
        {"delete unknown album", "DELETE", "/api/users/alice/album/999/", alice, {}, 404},
        {"unknown api path", "GET", "/api//users/alice/photos/", alice, {}, 404},
        {"unknown path", "GET", "/no/such/page/", {}, {}, 404},
        {"wrong method", "PATCH", "/api//users/alice/albums/", alice, {}, 405},
    };
    for (const StatusCase& c : cases) {
        const HttpResponse response =
            TestHttp::send(c.method, url(c.path.arg(album)), c.authorization, c.body);
        EXPECT_TRUE(response.received) << c.name;
        EXPECT_EQ(response.status, c.status) << c.name;
    }
    // None of the refused changes touched the album.
    const HttpResponse fetched =
        TestHttp::send("GET", url(QStringLiteral("/api//users/alice/album/%1/").arg(album)), alice);
    EXPECT_EQ(childText(fetched.data, QStringLiteral("title")), QStringLiteral("t"));
}

TEST_F(AlbumApiTest, RefusesAnOversizedBodyWith413) {
    const QString album = createAlbum();
    QByteArray huge = updateBody(QString(600 * 1024, QLatin1Char('x')), QStringLiteral("s"), {});
    huge.append(QByteArray(600 * 1024, ' '));
    const HttpResponse response =
        TestHttp::send("PUT", url(QStringLiteral("/api//users/alice/album/%1/").arg(album)),
                       TestHttp::zimpToken("tok-alice"), huge);
    ASSERT_TRUE(response.received) << response.error.toStdString();
    EXPECT_EQ(response.status, 413);
    // The service is still there.
    EXPECT_EQ(TestHttp::get(url(QStringLiteral("/"))).status, 200);
}

TEST_F(AlbumApiTest, ListAnswersAtomWithThePiktoPrefix) {
    createAlbum();
    const HttpResponse list = TestHttp::send(
        "GET", url(QStringLiteral("/api//users/alice/albums/")), TestHttp::zimpToken("tok-alice"));
    ASSERT_EQ(list.status, 200);
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(list.data, true));
    const QDomElement root = doc.documentElement();
    EXPECT_EQ(root.namespaceURI(), QStringLiteral("http://www.w3.org/2005/Atom"));
    EXPECT_EQ(root.localName(), QStringLiteral("feed"));
    const QDomElement entry = root.firstChildElement(QStringLiteral("entry"));
    ASSERT_FALSE(entry.isNull());
    const QDomElement count = entry.firstChildElement(QStringLiteral("image-count"));
    EXPECT_EQ(count.namespaceURI(), QStringLiteral("ovrana:pikto"));
    EXPECT_EQ(count.prefix(), QStringLiteral("f"));
    EXPECT_TRUE(list.data.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}

TEST_F(AlbumApiTest, AnAccountWithoutAlbumsGetsAFeedWithoutEntries) {
    const HttpResponse list = TestHttp::send("GET", url(QStringLiteral("/api//users/bob/albums/")),
                                             TestHttp::zimpToken("tok-bob"));
    ASSERT_EQ(list.status, 200);
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(list.data, false));
    EXPECT_EQ(doc.documentElement().tagName(), QStringLiteral("feed"));
    EXPECT_TRUE(doc.documentElement().firstChildElement(QStringLiteral("entry")).isNull());
}

TEST_F(AlbumApiTest, UpdateSetsTitleSummaryAndPasswordAndEmptyPasswordRemovesIt) {
    const QString album = createAlbum();
    const QString path = url(QStringLiteral("/api//users/alice/album/%1/").arg(album));
    const QByteArray alice = TestHttp::zimpToken("tok-alice");
    const QString title = QStringLiteral("Лето & \"море\" <2026>");

    HttpResponse updated = TestHttp::send(
        "PUT", path, alice, updateBody(title, QStringLiteral("Пляж"), QStringLiteral("pw")));
    ASSERT_EQ(updated.status, 200);
    EXPECT_EQ(childValue(updated.data, QStringLiteral("f:protected")), QStringLiteral("true"));

    const HttpResponse fetched = TestHttp::send("GET", path, alice);
    EXPECT_EQ(childText(fetched.data, QStringLiteral("title")), title);
    EXPECT_EQ(childText(fetched.data, QStringLiteral("summary")), QStringLiteral("Пляж"));
    EXPECT_EQ(childValue(fetched.data, QStringLiteral("f:protected")), QStringLiteral("true"));
    EXPECT_EQ(childValue(fetched.data, QStringLiteral("f:image-count")), QStringLiteral("0"));

    // The client sends back the fetched entry with f:password appended; no declaration.
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(fetched.data, false));
    QDomElement password = doc.createElement(QStringLiteral("f:password"));
    doc.documentElement().appendChild(password);
    updated = TestHttp::send("PUT", path, alice, doc.toByteArray().mid(38));
    ASSERT_EQ(updated.status, 200);
    EXPECT_EQ(childValue(updated.data, QStringLiteral("f:protected")), QStringLiteral("false"));
    EXPECT_EQ(childText(updated.data, QStringLiteral("title")), title);
}

TEST_F(AlbumApiTest, CreateAnswersANewIdEachTime) {
    const QString first = createAlbum();
    const QString second = createAlbum();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]+$")).match(first).hasMatch())
        << first.toStdString();
    EXPECT_NE(first, second);
}

TEST_F(AlbumApiTest, DeleteRemovesTheAlbumOnce) {
    const QString album = createAlbum();
    const QByteArray alice = TestHttp::zimpToken("tok-alice");
    const QString path = url(QStringLiteral("/api/users/alice/album/%1/").arg(album));
    EXPECT_EQ(TestHttp::send("DELETE", path, alice).status, 204);
    EXPECT_EQ(TestHttp::send("DELETE", path, alice).status, 404);
    EXPECT_EQ(
        TestHttp::send("GET", url(QStringLiteral("/api//users/alice/album/%1/").arg(album)), alice)
            .status,
        404);
    // Double slash after api is accepted for delete too.
    const QString other = createAlbum();
    EXPECT_EQ(TestHttp::send("DELETE",
                             url(QStringLiteral("/api//users/alice/album/%1/").arg(other)), alice)
                  .status,
              204);
}

TEST_F(AlbumApiTest, AlbumPageShowsTitleAndDescription) {
    const QString album = createAlbum();
    ASSERT_EQ(
        TestHttp::send("PUT", url(QStringLiteral("/api//users/alice/album/%1/").arg(album)),
                       TestHttp::zimpToken("tok-alice"),
                       updateBody(QStringLiteral("Горы <высокие>"), QStringLiteral("Alps"), {}))
            .status,
        200);
    const HttpResponse page =
        TestHttp::get(url(QStringLiteral("/users/alice/album/%1/").arg(album)));
    ASSERT_EQ(page.status, 200);
    const QString html = QString::fromUtf8(page.data);
    EXPECT_TRUE(html.contains(QStringLiteral("Горы &lt;высокие&gt;")));
    EXPECT_TRUE(html.contains(QStringLiteral("Alps")));
    EXPECT_EQ(TestHttp::get(url(QStringLiteral("/users/bob/album/%1/").arg(album))).status, 404);
}

TEST_F(AlbumApiTest, WebsitePagesAnswer) {
    EXPECT_EQ(TestHttp::get(url(QStringLiteral("/"))).status, 200);
    const HttpResponse register_ =
        TestHttp::get(url(QStringLiteral("/passport/?mode=register&lang=ru")));
    EXPECT_EQ(register_.status, 200);
    EXPECT_TRUE(QString::fromUtf8(register_.data).contains(QStringLiteral("Регистрация")));
    const HttpResponse remember =
        TestHttp::get(url(QStringLiteral("/passport/?mode=remember&lang=ru")));
    EXPECT_EQ(remember.status, 200);
    EXPECT_TRUE(QString::fromUtf8(remember.data).contains(QStringLiteral("Восстановление пароля")));
}

} // namespace
