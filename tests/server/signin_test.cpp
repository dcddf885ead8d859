// The sign-in exchange of pikto-service: the key answer, and token requests encrypted the
// way the client encrypts them.

#include "database.h"
#include "rsaencrypttext.h"
#include "serviceprocess.h"
#include "signinservice.h"
#include "testhttp.h"

#include <QDomDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <httplib.h>

#include <gtest/gtest.h>

namespace {

struct KeyAnswer {
    QString key;
    QString requestId;
};

// The first two children of the key answer's root.
KeyAnswer parseKeyAnswer(const QByteArray& data) {
    QDomDocument doc;
    if (!doc.setContent(data, false))
        return {};
    const QDomElement first = doc.documentElement().firstChildElement();
    return {first.text(), first.nextSiblingElement().text()};
}

QString xmlEscaped(const QString& text) {
    return text.toHtmlEscaped();
}

// The form body the client posts: the credentials snippet encrypted under the key,
// Base64, URL-escaped, and the request id.
QByteArray tokenForm(const KeyAnswer& answer, const QString& login, const QString& password) {
    const QByteArray snippet = QStringLiteral("<credentials login=\"%1\" password=\"%2\" />")
                                   .arg(xmlEscaped(login), xmlEscaped(password))
                                   .toUtf8();
    std::vector<char> out(4096);
    if (!rsa_encrypt_text(answer.key.toLatin1().constData(), snippet.constData(), out.data(),
                          out.size()))
        return {};
    return "credentials=" + QUrl::toPercentEncoding(QString::fromLatin1(out.data())) +
           "&request_id=" + answer.requestId.toLatin1();
}

// The root's first child of a token answer: "token:TEXT" or "error:CODE".
QString tokenOutcome(const QByteArray& data) {
    QDomDocument doc;
    if (!doc.setContent(data, false))
        return QStringLiteral("unparsable");
    const QDomElement first = doc.documentElement().firstChildElement();
    if (first.tagName() == QStringLiteral("token"))
        return QStringLiteral("token:") + first.text();
    return first.tagName() + QLatin1Char(':') + first.attribute(QStringLiteral("code"));
}

class SignInTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<ServiceProcess>(ServiceProcess::Options{
            {QStringLiteral("alice:secret"), QStringLiteral("ca\"rol:p&ss=<w>\"rd%2B")}, {}, {}});
        ASSERT_TRUE(service->start()) << service->lastError().toStdString();
    }

    KeyAnswer fetchKey() const {
        const HttpResponse response =
            TestHttp::get(service->origin() + QStringLiteral("/ovmrsa/key/"));
        EXPECT_EQ(response.status, 200);
        return parseKeyAnswer(response.data);
    }

    QString postToken(const QByteArray& form) const {
        const HttpResponse response =
            TestHttp::send("POST", service->origin() + QStringLiteral("/ovmrsa/token/"), {}, form,
                           "application/x-www-form-urlencoded");
        EXPECT_EQ(response.status, 200);
        return tokenOutcome(response.data);
    }

    QString signIn(const QString& login, const QString& password) const {
        return postToken(tokenForm(fetchKey(), login, password));
    }

    std::unique_ptr<ServiceProcess> service;
};

TEST_F(SignInTest, KeyAnswerHoldsA1024BitKeyAndAFreshRequestIdEachTime) {
    const HttpResponse response = TestHttp::get(service->origin() + QStringLiteral("/ovmrsa/key/"));
    ASSERT_EQ(response.status, 200);
    EXPECT_TRUE(
        response.data.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><response><key>"));
    const KeyAnswer first = parseKeyAnswer(response.data);
    const QRegularExpressionMatch key =
        QRegularExpression(QStringLiteral("^([0-9A-F]+)#([0-9A-F]+)$")).match(first.key);
    ASSERT_TRUE(key.hasMatch()) << first.key.toStdString();
    EXPECT_EQ(key.captured(1).size(), 256); // 1024 bits, the top bit set
    EXPECT_FALSE(first.requestId.isEmpty());
    const KeyAnswer second = fetchKey();
    EXPECT_EQ(second.key, first.key);
    EXPECT_NE(second.requestId, first.requestId);
}

TEST_F(SignInTest, RightPasswordGivesATokenTheAlbumApiAccepts) {
    const QString outcome = signIn(QStringLiteral("alice"), QStringLiteral("secret"));
    ASSERT_TRUE(outcome.startsWith(QStringLiteral("token:"))) << outcome.toStdString();
    const QByteArray token = outcome.mid(6).toLatin1();
    EXPECT_GE(token.size(), 32);
    const HttpResponse list =
        TestHttp::send("GET", service->origin() + QStringLiteral("/api//users/alice/albums/"),
                       TestHttp::zimpToken(token));
    EXPECT_EQ(list.status, 200);
    // Each sign-in issues another token.
    EXPECT_NE(signIn(QStringLiteral("alice"), QStringLiteral("secret")), outcome);
}

TEST_F(SignInTest, EscapedQuotesAmpersandsAndAnglesSignIn) {
    const QString outcome = signIn(QStringLiteral("ca\"rol"), QStringLiteral("p&ss=<w>\"rd%2B"));
    EXPECT_TRUE(outcome.startsWith(QStringLiteral("token:"))) << outcome.toStdString();
}

TEST_F(SignInTest, WrongPasswordOrUnknownLoginIsErrorCode2) {
    EXPECT_EQ(signIn(QStringLiteral("alice"), QStringLiteral("Secret")), QStringLiteral("error:2"));
    EXPECT_EQ(signIn(QStringLiteral("alice"), QString()), QStringLiteral("error:2"));
    EXPECT_EQ(signIn(QStringLiteral("mallory"), QStringLiteral("secret")),
              QStringLiteral("error:2"));
}

TEST_F(SignInTest, ARequestIdIsGoodForOneTokenRequest) {
    const QByteArray form =
        tokenForm(fetchKey(), QStringLiteral("alice"), QStringLiteral("secret"));
    EXPECT_TRUE(postToken(form).startsWith(QStringLiteral("token:")));
    EXPECT_EQ(postToken(form), QStringLiteral("error:1"));
    // A wrong password uses the id up as well.
    const QByteArray wrong = tokenForm(fetchKey(), QStringLiteral("alice"), QStringLiteral("x"));
    EXPECT_EQ(postToken(wrong), QStringLiteral("error:2"));
    EXPECT_EQ(postToken(wrong), QStringLiteral("error:1"));
}

TEST_F(SignInTest, UndecryptableOrIncompleteRequestsAreErrorCode1) {
    const KeyAnswer answer = fetchKey();
    const QByteArray id = answer.requestId.toLatin1();
    EXPECT_EQ(postToken("credentials=AAAA&request_id=unknown"), QStringLiteral("error:1"));
    EXPECT_EQ(postToken("credentials=bm90IGEgcmVjb3Jk&request_id=" + id),
              QStringLiteral("error:1"));
    EXPECT_EQ(postToken("request_id=" + fetchKey().requestId.toLatin1()),
              QStringLiteral("error:1"));
    EXPECT_EQ(postToken("credentials=&request_id=" + fetchKey().requestId.toLatin1()),
              QStringLiteral("error:1"));
    EXPECT_EQ(postToken({}), QStringLiteral("error:1"));
    // A well-encrypted text that is not the credentials element.
    KeyAnswer other = fetchKey();
    std::vector<char> out(4096);
    ASSERT_TRUE(rsa_encrypt_text(other.key.toLatin1().constData(), "<login name=\"alice\"/>",
                                 out.data(), out.size()));
    EXPECT_EQ(postToken("credentials=" + QUrl::toPercentEncoding(QString::fromLatin1(out.data())) +
                        "&request_id=" + other.requestId.toLatin1()),
              QStringLiteral("error:1"));
}

TEST_F(SignInTest, RestartKeepsTheAccountButNotTheRequestIds) {
    const QString oldRequestId = fetchKey().requestId;
    const QString token = signIn(QStringLiteral("alice"), QStringLiteral("secret")).mid(6);
    service->setOptions({});
    ASSERT_TRUE(service->restart()) << service->lastError().toStdString();
    // Encrypted under the new run's key, so only the request id is stale.
    const KeyAnswer current = fetchKey();
    EXPECT_EQ(postToken(tokenForm({current.key, oldRequestId}, QStringLiteral("alice"),
                                  QStringLiteral("secret"))),
              QStringLiteral("error:1"));
    EXPECT_TRUE(postToken(tokenForm(current, QStringLiteral("alice"), QStringLiteral("secret")))
                    .startsWith(QStringLiteral("token:")));
    EXPECT_EQ(TestHttp::send("GET", service->origin() + QStringLiteral("/api//users/alice/albums/"),
                             TestHttp::zimpToken(token.toLatin1()))
                  .status,
              200);
}

TEST(SignInServiceTest, RequestIdsExpire) {
    QTemporaryDir folder;
    Database db;
    std::string error;
    ASSERT_TRUE(db.open(folder.filePath(QStringLiteral("db.sqlite")).toStdString(), error))
        << error;
    ASSERT_TRUE(db.setUser("alice", "secret"));
    SignInService::Clock::time_point now{};
    SignInService signIn(db, [&now] { return now; });
    ASSERT_TRUE(signIn.prepare(error)) << error;

    auto keyAnswer = [&] {
        httplib::Response res;
        signIn.key(res);
        return parseKeyAnswer(QByteArray::fromStdString(res.body));
    };
    auto token = [&](const KeyAnswer& answer) {
        httplib::Response res;
        signIn.token(
            res,
            tokenForm(answer, QStringLiteral("alice"), QStringLiteral("secret")).toStdString());
        return tokenOutcome(QByteArray::fromStdString(res.body));
    };

    const KeyAnswer late = keyAnswer();
    const KeyAnswer inTime = keyAnswer();
    now += SignInService::kRequestIdLifetime - std::chrono::seconds(1);
    EXPECT_TRUE(token(inTime).startsWith(QStringLiteral("token:")));
    now += std::chrono::seconds(1);
    EXPECT_EQ(token(late), QStringLiteral("error:1"));
}

} // namespace
