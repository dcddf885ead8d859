// pikto-service over HTTPS: a certificate of a throw-away authority, checked by the client.

#include "piktoprocess.h"
#include "serviceprocess.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <QRegularExpression>

#include <httplib.h>

#include <gtest/gtest.h>

namespace {

// Makes a certificate authority and a certificate for 127.0.0.1 signed by it, with the
// openssl tool; false when the tool fails.
bool makeCertificates(const QTemporaryDir& dir) {
    auto run = [&](const QStringList& arguments) {
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.start(QStringLiteral("openssl"), arguments);
        return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
               openssl.exitCode() == 0;
    };
    QFile extensions(dir.filePath(QStringLiteral("san.cnf")));
    if (!extensions.open(QIODevice::WriteOnly))
        return false;
    extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    extensions.close();
    return run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                "-keyout", "ca.key", "-out", "ca.pem", "-days", "1", "-subj", "/CN=Test CA"}) &&
           run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                "service.key", "-out", "service.csr", "-subj", "/CN=127.0.0.1"}) &&
           run({"x509", "-req", "-in", "service.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", "service.pem", "-days", "1", "-extfile", "san.cnf"});
}

class TlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(makeCertificates(certificates));
        service.setOptions({{QStringLiteral("alice:secret")}, {}, {}});
        service.setExtraArguments(
            {QStringLiteral("--tls-cert"), certificates.filePath(QStringLiteral("service.pem")),
             QStringLiteral("--tls-key"), certificates.filePath(QStringLiteral("service.key"))});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    }

    std::unique_ptr<httplib::SSLClient> client(bool trustTheAuthority) {
        auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", service.port());
        client->enable_server_certificate_verification(true);
        if (trustTheAuthority)
            client->set_ca_cert_path(
                certificates.filePath(QStringLiteral("ca.pem")).toStdString().c_str());
        else
            client->set_ca_cert_path("/dev/null");
        client->set_connection_timeout(5);
        client->set_read_timeout(5);
        return client;
    }

    QTemporaryDir certificates;
    ServiceProcess service;
};

TEST_F(TlsTest, TheServiceAnnouncesAnHttpsOriginAndAnswersOverTls) {
    EXPECT_TRUE(service.origin().startsWith(QStringLiteral("https://127.0.0.1:")));
    const auto tls = client(true);
    // Several requests on one kept-alive TLS connection.
    for (int i = 0; i < 3; ++i) {
        const httplib::Result key = tls->Get("/ovmrsa/key/");
        ASSERT_TRUE(key) << httplib::to_string(key.error());
        EXPECT_EQ(key->status, 200);
        EXPECT_NE(key->body.find("<request_id>"), std::string::npos);
    }
}

TEST_F(TlsTest, AClientThatDoesNotTrustTheAuthorityGetsNothing) {
    const httplib::Result key = client(false)->Get("/ovmrsa/key/");
    EXPECT_FALSE(key);
}

TEST_F(TlsTest, PlainHttpOnTheTlsPortGetsNoAnswer) {
    httplib::Client plain("127.0.0.1", service.port());
    plain.set_read_timeout(3);
    const httplib::Result key = plain.Get("/ovmrsa/key/");
    EXPECT_TRUE(!key || key->status != 200);
    // The service goes on serving TLS clients.
    EXPECT_TRUE(client(true)->Get("/"));
}

TEST_F(TlsTest, SiteCookiesAreSecureOverHttps) {
    const auto https = client(true);
    // The form's CSRF cookie and the language cookie, then the session's.
    const httplib::Result form = https->Get("/passport/signin/?lang=en");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->get_header_value_count("Set-Cookie"), 2u);
    std::string cookie;
    for (std::size_t i = 0; i < form->get_header_value_count("Set-Cookie"); ++i) {
        const std::string value = form->get_header_value("Set-Cookie", i);
        EXPECT_NE(value.find("; Secure"), std::string::npos) << value;
        if (value.rfind("pikto_csrf=", 0) == 0)
            cookie = value.substr(0, value.find(';'));
    }
    const std::string csrf = QRegularExpression(QStringLiteral("name=\"csrf\" value=\"(\\w+)\""))
                                 .match(QString::fromStdString(form->body))
                                 .captured(1)
                                 .toStdString();
    const httplib::Result signIn = https->Post("/passport/signin/", {{"Cookie", cookie}},
                                               "login=alice&password=secret&csrf=" + csrf,
                                               "application/x-www-form-urlencoded");
    ASSERT_TRUE(signIn);
    ASSERT_EQ(signIn->status, 303);
    EXPECT_NE(signIn->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
}

// pikto against the HTTPS service, with `environment` added to a clean environment.
PiktoProcess::Outcome pikto(const ServiceProcess& service, const QStringList& args,
                            const QMap<QString, QString>& environment = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("OVPIKTO_SERVICE_URL"));
    env.remove(QStringLiteral("OVPIKTO_CA_FILE"));
    env.insert(QStringLiteral("PIKTO_PASSWORD"), QStringLiteral("secret"));
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    return PiktoProcess::run(QStringList{QStringLiteral("--service"), service.origin(),
                                         QStringLiteral("--login"), QStringLiteral("alice")} +
                                 args,
                             env, {}, {}, 30000);
}

TEST_F(TlsTest, PiktoSignsInAndUploadsOverHttpsTrustingTheCaFile) {
    const QString ca = certificates.filePath(QStringLiteral("ca.pem"));
    const PiktoProcess::Outcome created = pikto(
        service, {QStringLiteral("--ca"), ca, QStringLiteral("album"), QStringLiteral("create"),
                  QStringLiteral("--title"), QStringLiteral("Over TLS")});
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    const QString album = created.out.trimmed();
    const QString photo = certificates.filePath(QStringLiteral("photo.jpg"));
    QFile file(photo);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\xff\xd8") + QByteArray(300 * 1024, 'p'));
    file.close();
    // The authorities from the environment this time.
    const PiktoProcess::Outcome uploaded =
        pikto(service, {QStringLiteral("upload"), QStringLiteral("--album"), album, photo},
              {{QStringLiteral("OVPIKTO_CA_FILE"), ca}});
    EXPECT_EQ(uploaded.exitCode, 0) << uploaded.err.toStdString();
}

TEST_F(TlsTest, PiktoRefusesAServiceItsAuthoritiesDoNotVouchFor) {
    // The system's store does not know the test authority.
    const PiktoProcess::Outcome refused = pikto(service, {QStringLiteral("signin")});
    EXPECT_NE(refused.exitCode, 0);
    // Nor does another authority.
    QTemporaryDir other;
    ASSERT_TRUE(makeCertificates(other));
    const PiktoProcess::Outcome wrong =
        pikto(service, {QStringLiteral("--ca"), other.filePath(QStringLiteral("ca.pem")),
                        QStringLiteral("signin")});
    EXPECT_NE(wrong.exitCode, 0);
    // No request got through the handshake to the service's handlers.
    const httplib::Result log = client(true)->Get("/_requests/");
    ASSERT_TRUE(log);
    EXPECT_EQ(log->body, "");
}

TEST_F(TlsTest, AnUnreadableCaFileIsAUsageError) {
    const PiktoProcess::Outcome missing =
        pikto(service, {QStringLiteral("--ca"), QStringLiteral("/nonexistent/ca.pem"),
                        QStringLiteral("signin")});
    EXPECT_EQ(missing.exitCode, 64);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("/nonexistent/ca.pem")));
}

TEST(TlsOptionsTest, AKeyThatDoesNotMatchTheCertificateIsRefusedAtStart) {
    QTemporaryDir first;
    QTemporaryDir second;
    ASSERT_TRUE(makeCertificates(first));
    ASSERT_TRUE(makeCertificates(second));
    ServiceProcess service;
    service.setExtraArguments(
        {QStringLiteral("--tls-cert"), first.filePath(QStringLiteral("service.pem")),
         QStringLiteral("--tls-key"), second.filePath(QStringLiteral("service.key"))});
    EXPECT_FALSE(service.start());
}

} // namespace
