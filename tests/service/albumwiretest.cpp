// Exact bytes of the album requests, checked against a scripted responder.
#include "loopbackresponder.h"
#include "ovpiktoexportercommlayer.h"
#include "serviceresult.h"

#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

QByteArray reply(const char* status, const QByteArray& body) {
    return QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: application/atom+xml\r\n" +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

const QByteArray createdEntry =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<entry xmlns=\"http://www.w3.org/2005/Atom\" "
    "xmlns:f=\"ovrana:pikto\"><id>tag:pikto:album:42</id><title></title><summary></summary>"
    "<f:image-count value=\"0\"/><f:protected value=\"false\"/></entry>";

QByteArray golden(const QString& name) {
    QFile file(QStringLiteral(OVPIKTO_GOLDEN_DIR "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

// The same XML with every element's attributes in name order (the serialiser's own
// order is not fixed), otherwise byte for byte.
QByteArray canonical(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            writer.writeStartElement(reader.qualifiedName().toString());
            const QXmlStreamAttributes read = reader.attributes();
            QList<QXmlStreamAttribute> attributes(read.begin(), read.end());
            for (const auto& declaration : reader.namespaceDeclarations()) {
                const QString name = declaration.prefix().isEmpty()
                                         ? QStringLiteral("xmlns")
                                         : "xmlns:" + declaration.prefix().toString();
                attributes.append(QXmlStreamAttribute(name, declaration.namespaceUri().toString()));
            }
            std::sort(attributes.begin(), attributes.end(), [](const auto& a, const auto& b) {
                return a.qualifiedName() < b.qualifiedName();
            });
            for (const auto& attribute : attributes)
                writer.writeAttribute(attribute.qualifiedName().toString(),
                                      attribute.value().toString());
            break;
        }
        case QXmlStreamReader::EndElement:
            writer.writeEndElement();
            break;
        case QXmlStreamReader::Characters:
            writer.writeCharacters(reader.text().toString());
            break;
        default:
            break;
        }
    }
    EXPECT_FALSE(reader.hasError()) << xml.constData();
    return out;
}

QByteArray requestLine(const QByteArray& request) {
    return request.left(request.indexOf("\r\n"));
}

class AlbumWire : public ::testing::Test {
protected:
    void start(QList<QByteArray> replies) {
        responder = std::make_unique<LoopbackResponder>(std::move(replies));
        client = OvPiktoExporterCommLayer(ServiceUrls(responder->origin()));
    }
    std::unique_ptr<LoopbackResponder> responder;
    OvPiktoExporterCommLayer client{ServiceUrls()}; // made for the responder in start()
    OVPiktoCredentials anna = [] {
        OVPiktoCredentials c(QStringLiteral("anna"), QStringLiteral("pw"));
        c.setToken(QStringLiteral("tok-1"));
        return c;
    }();
};

} // namespace

TEST_F(AlbumWire, ListSendsFeedTypeAndTheTokenHeaderToTheDoubleSlashPath) {
    start({reply("200 OK", "<feed/>")});
    int error = -1;
    client.getUserAlbumsWithCredentials(anna, &error);
    const QByteArray sent = responder->lastRequest();
    EXPECT_EQ(requestLine(sent), "GET /api//users/anna/albums/ HTTP/1.1");
    EXPECT_TRUE(sent.contains("\r\nContent-Type: application/atom+xml; type=feed\r\n"));
    EXPECT_TRUE(sent.contains("\r\nAuthorization: ZimpToken realm=\"127.0.0.1\", "
                              "token=\"tok-1\"\r\n"))
        << sent.constData();
}

TEST_F(AlbumWire, CreateWithABlankPasswordPostsNoPasswordLineThenPutsAnEmptyOne) {
    start({reply("201 Created", createdEntry), reply("200 OK", createdEntry),
           reply("200 OK", createdEntry)});
    int error = -1;
    const QString id =
        client.createNewUserAlbumWithTitle(QStringLiteral("Дача & <сад>"), QStringLiteral("Лето"),
                                           QStringLiteral("   "), anna, &error);
    EXPECT_EQ(error, ServiceResult::Success);
    EXPECT_EQ(id, "42");

    const QList<QByteArray> sent = responder->requests();
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(requestLine(sent[0]), "POST /api//users/anna/albums/ HTTP/1.1");
    EXPECT_TRUE(sent[0].contains("\r\nContent-Type: application/atom+xml; type=entry\r\n"));
    EXPECT_EQ(LoopbackResponder::bodyOf(sent[0]), golden("create-without-password.xml"));
    EXPECT_EQ(requestLine(sent[1]), "GET /api//users/anna/album/42/ HTTP/1.1");
    EXPECT_EQ(requestLine(sent[2]), "PUT /api//users/anna/album/42/ HTTP/1.1");
    const QByteArray update = LoopbackResponder::bodyOf(sent[2]);
    EXPECT_FALSE(update.startsWith("<?xml"));
    EXPECT_EQ(canonical(update), canonical(golden("update-empty-password.xml")))
        << update.constData();
}

TEST_F(AlbumWire, CreateWithAPasswordPostsAnEmptyPasswordLineThenPutsTheTrimmedOne) {
    start({reply("201 Created", createdEntry), reply("200 OK", createdEntry),
           reply("200 OK", createdEntry)});
    int error = -1;
    client.createNewUserAlbumWithTitle("T", "S", QStringLiteral("\t p<w> \n"), anna, &error);
    EXPECT_EQ(error, ServiceResult::Success);
    const QList<QByteArray> sent = responder->requests();
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(LoopbackResponder::bodyOf(sent[0]), golden("create-with-password.xml"));
    EXPECT_TRUE(
        LoopbackResponder::bodyOf(sent[2]).endsWith("<f:password>p&lt;w></f:password></entry>"))
        << sent[2].constData();
}

TEST_F(AlbumWire, UpdateAddsASummaryAndThePrefixDeclarationWhenTheEntryHasNone) {
    const QByteArray bare = "<entry xmlns=\"http://www.w3.org/2005/Atom\"><id>album:7</id></entry>";
    start({reply("200 OK", bare), reply("200 OK", "")});
    int error = -1;
    client.updateUserAlbumWithID("7", "ignored: no title element", "new summary", "", anna, &error);
    EXPECT_EQ(error, ServiceResult::Success);
    const QList<QByteArray> sent = responder->requests();
    ASSERT_EQ(sent.size(), 2);
    const QByteArray body = LoopbackResponder::bodyOf(sent[1]);
    EXPECT_EQ(canonical(body),
              canonical("<entry xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\">"
                        "<id>album:7</id><summary>new summary</summary><f:password/></entry>"))
        << body.constData();
}

TEST_F(AlbumWire, DeleteUsesTheSingleSlashPath) {
    start({reply("204 No Content", "")});
    int error = -1;
    client.deleteUserAlbumByID("42", anna, &error);
    EXPECT_EQ(error, ServiceResult::Success);
    EXPECT_EQ(requestLine(responder->lastRequest()), "DELETE /api/users/anna/album/42/ HTTP/1.1");
}

TEST_F(AlbumWire, UpdateStatusesMapAsItsTableSays) {
    const QByteArray entry = "<entry><id>album:7</id></entry>";
    const struct {
        const char* status;
        int code;
    } rows[] = {{"200 OK", 0},        {"401 Unauthorized", 3}, {"403 Forbidden", 5},
                {"404 Not Found", 1}, {"500 Server Error", 1}, {"204 No Content", 1}};
    for (const auto& row : rows) {
        start({reply("200 OK", entry), reply(row.status, "")});
        int error = -1;
        client.updateUserAlbumWithID("7", "t", "s", "", anna, &error);
        EXPECT_EQ(error, row.code) << row.status;
        EXPECT_EQ(responder->requests().size(), 2);
    }
}
