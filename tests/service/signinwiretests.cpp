// The bytes of the sign-in exchange, checked against a scripted responder that hands out
// a key whose private half the test holds, so the posted credentials can be decrypted.
#include "base64.h"
#include "ccryptoproviderrsa.h"
#include "loopbackresponder.h"
#include "ovpiktoexportercommlayer.h"
#include "serviceresult.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace {

QByteArray reply(const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

class SignInWire : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(provider.DeriveKeyFromRandomDevice(1024));
        char key[1028] = {};
        ASSERT_TRUE(provider.ExportPublicKey(key));
        keyText = key;
    }

    // Signs in against a responder answering the key (with `requestId`, XML text) and then
    // `tokenAnswer`; returns the token request.
    QByteArray signIn(OVPiktoCredentials& credentials, const QByteArray& requestId,
                      const QByteArray& tokenAnswer, int* result) {
        LoopbackResponder responder({reply("<response><key>" + keyText + "</key><request_id>" +
                                           requestId + "</request_id></response>"),
                                     reply(tokenAnswer)});
        OvPiktoExporterCommLayer client(ServiceUrls(responder.origin()));
        *result = client.signIntoOvranaPiktoWithCredentials(credentials);
        const QList<QByteArray> requests = responder.requests();
        EXPECT_EQ(requests.size(), 2);
        if (requests.size() != 2)
            return {};
        EXPECT_TRUE(requests[0].startsWith("GET /ovmrsa/key/ HTTP/1.1\r\n"));
        return requests[1];
    }

    // The plain text inside a posted "credentials" field.
    QByteArray decrypt(const QByteArray& field) {
        const std::string records = base64_decode(QUrl::fromPercentEncoding(field).toStdString());
        std::string plain(CCryptoProviderRSA::DecryptedLengthBound(records.size()), '\0');
        unsigned long length = 0;
        provider.ResetDecryption();
        provider.Decrypt(records.data(), records.size(), plain.data(), length);
        return QByteArray(plain.data(), qsizetype(length));
    }

    CCryptoProviderRSA provider;
    QByteArray keyText;
};

TEST_F(SignInWire, TokenRequestIsAFormOfTwoFieldsWithTheEncryptedSnippet) {
    OVPiktoCredentials credentials(QStringLiteral("o'hara"), QStringLiteral("a\"b&c=d<e>+/ f"));
    int result = -1;
    const QByteArray request =
        signIn(credentials, "r+1&amp;x", "<response><token>T1</token></response>", &result);
    EXPECT_EQ(result, ServiceResult::Success);
    EXPECT_EQ(credentials.token(), "T1");

    ASSERT_TRUE(request.startsWith("POST /ovmrsa/token/ HTTP/1.1\r\n"));
    EXPECT_TRUE(request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    const QList<QByteArray> fields = LoopbackResponder::bodyOf(request).split('&');
    ASSERT_EQ(fields.size(), 2);
    ASSERT_TRUE(fields[0].startsWith("credentials="));
    EXPECT_EQ(fields[1], "request_id=r%2B1%26x");
    // Only characters that survive form decoding unchanged.
    const QByteArray cipher = fields[0].mid(12);
    EXPECT_FALSE(cipher.contains('+') || cipher.contains('/') || cipher.contains('='));

    EXPECT_EQ(decrypt(cipher),
              "<credentials login=\"o&apos;hara\" password=\"a&quot;b&amp;c=d&lt;e&gt;+/ f\" />");
}

TEST_F(SignInWire, WrongCredentialsAnswerGives3) {
    OVPiktoCredentials credentials(QStringLiteral("anna"), QStringLiteral("nope"));
    int result = -1;
    signIn(credentials, "r2", "<response><error code=\"2\"/></response>", &result);
    EXPECT_EQ(result, ServiceResult::AuthRefused);
    EXPECT_TRUE(credentials.token().isNull());
}

} // namespace
