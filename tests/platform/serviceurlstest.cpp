#include "serviceurls.h"

#include <gtest/gtest.h>

TEST(ServiceUrls, EveryAddressDerivesFromTheOriginWithoutItsTrailingSlashes) {
    const ServiceUrls urls(QStringLiteral("http://photos.example:8080//"));
    EXPECT_EQ(urls.origin(), "http://photos.example:8080");
    EXPECT_EQ(urls.signInKey(), "http://photos.example:8080/ovmrsa/key/");
    EXPECT_EQ(urls.signInToken(), "http://photos.example:8080/ovmrsa/token/");
    EXPECT_EQ(urls.apiBase(), "http://photos.example:8080/api/");
    EXPECT_EQ(urls.upload(), "http://photos.example:8080/post/");
    EXPECT_EQ(urls.versionsFeed(),
              "http://photos.example:8080/photo/mac/iphoto-plugin/versions.xml");
    EXPECT_EQ(urls.website(), "http://photos.example:8080/");
    EXPECT_EQ(urls.registerPage(), "http://photos.example:8080/passport/?mode=register");
    EXPECT_EQ(urls.rememberPage(), "http://photos.example:8080/passport/?mode=remember");
    EXPECT_EQ(urls.authorizationRealm(), "photos.example");
}

TEST(ServiceUrls, AnEmptyOriginIsTheBundledService) {
    EXPECT_EQ(ServiceUrls().origin(), "http://127.0.0.1:8480");
    EXPECT_EQ(ServiceUrls(QString()), ServiceUrls(QStringLiteral("http://127.0.0.1:8480/")));
    EXPECT_EQ(ServiceUrls().authorizationRealm(), "127.0.0.1");
}

TEST(ServiceUrls, AlbumPageTakesLoginAndIdentifierAsTheyAre) {
    const ServiceUrls urls(QStringLiteral("http://127.0.0.1:8480"));
    EXPECT_EQ(urls.albumPage(QStringLiteral("anna"), QStringLiteral("42")),
              "http://127.0.0.1:8480/users/anna/album/42/");
    EXPECT_EQ(urls.albumPage(QStringLiteral("a%1"), QStringLiteral("%2")),
              "http://127.0.0.1:8480/users/a%1/album/%2/")
        << "a % in the login is not read as a placeholder";
}

TEST(ServiceUrls, BlogPageIsOnASubDomainOfANamedHostAndOfLocalhostForANumericOne) {
    EXPECT_EQ(ServiceUrls(QStringLiteral("http://pikto.example:8480")).blogPage("anna"),
              "http://anna.pikto.example:8480/go.xml");
    EXPECT_EQ(ServiceUrls(QStringLiteral("https://pikto.example")).blogPage("anna"),
              "https://anna.pikto.example/go.xml");
    EXPECT_EQ(ServiceUrls(QStringLiteral("http://127.0.0.1:5555")).blogPage("anna"),
              "http://anna.localhost:5555/go.xml");
    EXPECT_EQ(ServiceUrls(QStringLiteral("http://[::1]:5555")).blogPage("anna"),
              "http://anna.localhost:5555/go.xml");
}
