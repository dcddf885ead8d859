// The sign-in exchange against the stand-in service, with its fault switch for the
// answers a working service never gives.
#include "ovpiktoexportercommlayer.h"

#include "log.h"
#include "serviceprocess.h"
#include "serviceresult.h"

#include <QDomDocument>
#include <QDomElement>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QString tokenPath = QStringLiteral("/ovmrsa/token/");
const QString keyPath = QStringLiteral("/ovmrsa/key/");

// Collects the client's log lines while alive.
class LogCapture {
public:
    LogCapture() {
        m_previous = Log::setSink([this](const QString& line) { lines.append(line); });
    }
    ~LogCapture() { Log::setSink(m_previous); }
    QStringList lines;

private:
    Log::Sink m_previous;
};

class SignIn : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        client = OvPiktoExporterCommLayer(service.urls());
    }

    // Sign-in with only the key answer replaced.
    int signInWithKeyAnswer(const QByteArray& answer) {
        EXPECT_TRUE(service.fault(keyPath, QStringLiteral("status"), 1, 200, answer));
        OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("secret"));
        return client.signIntoOvranaPiktoWithCredentials(credentials);
    }

    // Sign-in with only the token answer replaced; the key exchange is real.
    int signInWithTokenAnswer(const QByteArray& answer, OVPiktoCredentials& credentials) {
        EXPECT_TRUE(service.fault(tokenPath, QStringLiteral("status"), 1, 200, answer));
        return client.signIntoOvranaPiktoWithCredentials(credentials);
    }

    bool tokenRequested() const {
        return service.requests().contains(QStringLiteral("POST ") + tokenPath);
    }

    ServiceProcess service{
        {{QStringLiteral("anna:secret"), QStringLiteral("o'hara:a\"b&c=d<e>")}, {}, {}}};
    OvPiktoExporterCommLayer client{ServiceUrls()}; // made for the running service in SetUp
};

TEST(CredentialsSnippet, EscapesLoginAndPasswordAsAttributeValues) {
    EXPECT_EQ(
        OvPiktoExporterCommLayer::credentialsSnippet(QStringLiteral("bob"), QStringLiteral("pw")),
        "<credentials login=\"bob\" password=\"pw\" />");
    EXPECT_EQ(OvPiktoExporterCommLayer::credentialsSnippet(QStringLiteral("o'hara&co"),
                                                           QStringLiteral("a\"b<c>d=e\tf")),
              "<credentials login=\"o&apos;hara&amp;co\" "
              "password=\"a&quot;b&lt;c&gt;d=e&#9;f\" />");
}

TEST(CredentialsSnippet, ParsesBackToTheExactTexts) {
    const QString login = QStringLiteral("Пётр \"&<>'");
    const QString password = QStringLiteral(" \t\r\nx&amp; \" ");
    QDomDocument document;
    ASSERT_TRUE(document.setContent(OvPiktoExporterCommLayer::credentialsSnippet(login, password)));
    EXPECT_EQ(document.documentElement().attribute(QStringLiteral("login")), login);
    EXPECT_EQ(document.documentElement().attribute(QStringLiteral("password")), password);
}

TEST_F(SignIn, LoginAndPasswordAloneListAlbums) {
    OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("secret"));
    ASSERT_EQ(client.signIntoOvranaPiktoWithCredentials(credentials), ServiceResult::Success);
    EXPECT_FALSE(credentials.token().isEmpty());

    int error = -1;
    const auto albums = client.getUserAlbumsWithCredentials(credentials, &error);
    EXPECT_EQ(error, ServiceResult::Success);
    ASSERT_TRUE(albums);
    ASSERT_EQ(albums->size(), 1);
    EXPECT_EQ(albums->at(0).albumId(), "-1");
}

TEST_F(SignIn, WrongPasswordGives3AndClearsOldToken) {
    OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("Secret"));
    credentials.setToken(QStringLiteral("stale"));
    EXPECT_EQ(client.signIntoOvranaPiktoWithCredentials(credentials), ServiceResult::AuthRefused);
    EXPECT_TRUE(credentials.token().isNull());
}

TEST_F(SignIn, UnknownLoginGives3) {
    OVPiktoCredentials credentials(QStringLiteral("nobody"), QStringLiteral("secret"));
    EXPECT_EQ(client.signIntoOvranaPiktoWithCredentials(credentials), ServiceResult::AuthRefused);
}

TEST_F(SignIn, PasswordWithQuoteAmpersandEqualsAndLessThanSignsIn) {
    OVPiktoCredentials credentials(QStringLiteral("o'hara"), QStringLiteral("a\"b&c=d<e>"));
    EXPECT_EQ(client.signIntoOvranaPiktoWithCredentials(credentials), ServiceResult::Success);
    EXPECT_FALSE(credentials.token().isEmpty());
}

TEST_F(SignIn, DroppedKeyRequestGives2AndSendsNoTokenRequest) {
    // Qt resends once a request whose connection closes unanswered.
    service.fault(keyPath, QStringLiteral("drop"), 2);
    OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("secret"));
    EXPECT_EQ(client.signIntoOvranaPiktoWithCredentials(credentials), ServiceResult::NoConnection);
    EXPECT_TRUE(credentials.token().isNull());
    EXPECT_FALSE(tokenRequested());
}

TEST_F(SignIn, KeyAnswerWithOneChildGives2AndSendsNoTokenRequest) {
    EXPECT_EQ(signInWithKeyAnswer("<response><key>C5#3</key></response>"),
              ServiceResult::NoConnection);
    EXPECT_FALSE(tokenRequested());
}

TEST_F(SignIn, KeyAnswerThatDoesNotParseGives2) {
    EXPECT_EQ(signInWithKeyAnswer("<response><key>"), ServiceResult::NoConnection);
    EXPECT_FALSE(tokenRequested());
}

// Keys the encryption must never be run with: a zero modulus or exponent would never
// finish, the others give cipher text the service cannot read.
TEST_F(SignIn, RefusedKeysGive2Promptly) {
    const char* keys[] = {"0#3", "1#3", "C4#3", "C5#0", "C5#2", "#", "", "not a key", "C5#3"};
    for (const char* key : keys) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray answer =
            QByteArray("<response><key>") + key + "</key><request_id>r1</request_id></response>";
        EXPECT_EQ(signInWithKeyAnswer(answer), ServiceResult::NoConnection) << key;
        // Generous for sanitizer builds; a key that never finishes would exceed any bound.
        EXPECT_LT(timer.elapsed(), 10000) << key;
    }
    EXPECT_FALSE(tokenRequested());
}

TEST_F(SignIn, TooLongCredentialsGive2WithoutSending) {
    OVPiktoCredentials credentials(QStringLiteral("anna"), QString(2000, QChar('p')));
    EXPECT_EQ(client.signIntoOvranaPiktoWithCredentials(credentials), ServiceResult::NoConnection);
    EXPECT_FALSE(tokenRequested());
}

TEST_F(SignIn, TokenIsTheAnswersTextExactly) {
    OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("secret"));
    EXPECT_EQ(
        signInWithTokenAnswer("<response><token> tok&amp;en 1 </token></response>", credentials),
        ServiceResult::Success);
    EXPECT_EQ(credentials.token(), " tok&en 1 ");
}

TEST_F(SignIn, EmptyTokenGives3) {
    OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("secret"));
    EXPECT_EQ(signInWithTokenAnswer("<response><token/></response>", credentials),
              ServiceResult::AuthRefused);
    EXPECT_TRUE(credentials.token().isNull());
}

TEST_F(SignIn, TokenAnswerWithoutTokenOrVerdictIsNotSuccess) {
    const char* answers[] = {"<response><error code=\"1\"/></response>",
                             "<response><other>x</other></response>", "<response>",
                             "not xml at all"};
    for (const char* answer : answers) {
        OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("secret"));
        EXPECT_EQ(signInWithTokenAnswer(answer, credentials), ServiceResult::NoConnection)
            << answer;
        EXPECT_TRUE(credentials.token().isNull()) << answer;
    }
}

TEST_F(SignIn, LogShowsKeyAndRequestIdButNeverTokenOrPassword) {
    LogCapture log;
    OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("secret"));
    ASSERT_EQ(client.signIntoOvranaPiktoWithCredentials(credentials), ServiceResult::Success);

    const QString joined = log.lines.join('\n');
    EXPECT_FALSE(joined.contains(credentials.token()));
    EXPECT_FALSE(joined.contains(QStringLiteral("secret")));
    EXPECT_EQ(log.lines.filter(QRegularExpression(QStringLiteral("^key: \\S+#\\S+\\n$"))).size(),
              1);
    EXPECT_EQ(log.lines.filter(QRegularExpression(QStringLiteral("^request id: \\S+\\n$"))).size(),
              1);
    const QStringList answers = log.lines.filter(QStringLiteral("request 2, response is \n"));
    ASSERT_EQ(answers.size(), 1);
    EXPECT_TRUE(answers.at(0).contains(QStringLiteral("<token>***</token>")))
        << answers.at(0).toStdString();
}

} // namespace
