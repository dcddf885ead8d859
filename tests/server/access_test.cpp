// Who sees which photo on the website: anonymous visitors, album passwords, the owner
// signed in through the site's form, and photo addresses that cannot be guessed.

#include "servicecontent.h"
#include "serviceprocess.h"
#include "sitepages.h"
#include "testhttp.h"
#include "webpages.h"

#include <QRegularExpression>

#include <httplib.h>

#include <gtest/gtest.h>

#include <map>

namespace {

class AccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        service.setOptions({{QStringLiteral("alice:secret"), QStringLiteral("bob:pw")},
                            {QStringLiteral("alice:tok-alice")},
                            {}});
        service.setExtraArguments({});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        client = std::make_unique<httplib::Client>("127.0.0.1", service.port());
        open = createAlbum("Open", "");
        locked = createAlbum("Locked", "open sesame");
        for (const char* access : {"public", "friends", "private"}) {
            openPhotos[access] = upload(open, access);
            lockedPhotos[access] = upload(locked, access);
        }
    }

    std::string createAlbum(const std::string& title, const std::string& password) {
        const std::string id =
            ServiceContent(service.port(), "alice", "tok-alice").createAlbum(title, password);
        EXPECT_FALSE(id.empty()) << title;
        return id;
    }

    std::string upload(const std::string& album, const std::string& access) {
        const std::string id = ServiceContent(service.port(), "alice", "tok-alice")
                                   .upload(album, access + ".jpg", "JPEG-" + access + "-" + album,
                                           {{"access_type", access}});
        EXPECT_FALSE(id.empty()) << access;
        return id;
    }

    // Posts a site form as a browser that opened it: with the form's CSRF cookie (beside
    // `cookie`) and field.
    httplib::Result post(const std::string& path, const std::string& body,
                         const std::string& cookie = {}) {
        if (csrfCookie.empty()) {
            const httplib::Result form = client->Get("/passport/signin/");
            const std::string setCookie = form ? form->get_header_value("Set-Cookie") : "";
            csrfCookie = setCookie.substr(0, setCookie.find(';'));
            csrfField = csrfFieldOf(form ? form->body : "");
        }
        return client->Post(path.c_str(),
                            {{"Cookie", csrfCookie + (cookie.empty() ? "" : "; " + cookie)}},
                            body + "&csrf=" + csrfField, "application/x-www-form-urlencoded");
    }

    static std::string csrfFieldOf(const std::string& html) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("name=\"csrf\" value=\"([0-9a-f]+)\""))
                .match(QString::fromStdString(html));
        return match.captured(1).toStdString();
    }

    httplib::Result get(const std::string& path, const std::string& cookie = {}) {
        httplib::Headers headers;
        if (!cookie.empty())
            headers.emplace("Cookie", cookie);
        return client->Get(path.c_str(), headers);
    }

    // Signs in on the site's form; the cookie to send afterwards ("name=value").
    std::string signIn(const std::string& login, const std::string& password) {
        const httplib::Result result =
            post("/passport/signin/",
                 "login=" + login + "&password=" + password + "&back=%2Fusers%2Falice%2Falbum%2F");
        if (!result || result->status != 303)
            return {};
        EXPECT_EQ(result->get_header_value("Location"), "/users/alice/album/");
        const std::string cookie = result->get_header_value("Set-Cookie");
        EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
        return cookie.substr(0, cookie.find(';'));
    }

    // The addresses of the originals of every photo an album page shows, each found on the
    // photo's own page as the visitor with `cookie` sees it.
    std::vector<std::string> photoAddresses(const std::string& html,
                                            const std::string& cookie = {}) {
        std::vector<std::string> found;
        for (const SitePages::Photo& photo : SitePages::albumPhotos(QString::fromStdString(html))) {
            const httplib::Result page = get(photo.page.toStdString(), cookie);
            EXPECT_TRUE(page && page->status == 200) << photo.page.toStdString();
            if (page)
                found.push_back(
                    SitePages::originalAddress(QString::fromStdString(page->body)).toStdString());
        }
        return found;
    }

    std::string albumPath(const std::string& id) const { return "/users/alice/album/" + id + "/"; }

    ServiceProcess service;
    std::unique_ptr<httplib::Client> client;
    std::string csrfCookie; // "pikto_csrf=..."
    std::string csrfField;
    std::string open;
    std::string locked;
    std::map<std::string, std::string> openPhotos;   // access -> id
    std::map<std::string, std::string> lockedPhotos; // access -> id
};

TEST_F(AccessTest, AnAnonymousVisitorSeesOnlyPublicPhotosOfAnOpenAlbum) {
    const httplib::Result page = get(albumPath(open));
    ASSERT_TRUE(page);
    ASSERT_EQ(page->status, 200);
    const std::vector<std::string> shown = photoAddresses(page->body);
    ASSERT_EQ(shown.size(), 1u) << page->body;
    EXPECT_EQ(shown[0].rfind("/photos/" + openPhotos["public"] + "-", 0), 0u) << shown[0];
    EXPECT_EQ(page->body.find("friends.jpg"), std::string::npos);
    EXPECT_EQ(page->body.find("private.jpg"), std::string::npos);
    const httplib::Result bytes = get(shown[0]);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->status, 200);
    EXPECT_EQ(bytes->body, "JPEG-public-" + open);
}

TEST_F(AccessTest, AnAnonymousVisitorGets404ForAPrivatePhotoEvenAtItsRealAddress) {
    // The owner's page gives the real addresses of every photo.
    const std::string owner = signIn("alice", "secret");
    ASSERT_FALSE(owner.empty());
    const std::vector<std::string> all = photoAddresses(get(albumPath(open), owner)->body, owner);
    ASSERT_EQ(all.size(), 3u);
    int refused = 0;
    for (const std::string& address : all) {
        const httplib::Result anonymous = get(address);
        ASSERT_TRUE(anonymous);
        if (anonymous->status == 404 || anonymous->status == 403)
            ++refused;
        EXPECT_EQ(get(address, owner)->status, 200) << address;
    }
    EXPECT_EQ(refused, 2); // friends-only and private
}

TEST_F(AccessTest, SequentialOrGuessedPhotoAddressesAre404) {
    for (const auto& [access, id] : openPhotos) {
        EXPECT_EQ(get("/photos/" + id + ".jpg")->status, 404) << access;
        EXPECT_EQ(get("/photos/" + id + "-00000000000000000000000000000000.jpg")->status, 404);
    }
    const std::vector<std::string> shown = photoAddresses(get(albumPath(open))->body);
    ASSERT_EQ(shown.size(), 1u);
    // The random part is long: 128 bits in hexadecimal.
    const QRegularExpressionMatch parts =
        QRegularExpression(QStringLiteral("^/photos/(\\d+)-([0-9a-f]{32})\\.jpg$"))
            .match(QString::fromStdString(shown[0]));
    EXPECT_TRUE(parts.hasMatch()) << shown[0];
}

TEST_F(AccessTest, AProtectedAlbumAsksAnAnonymousVisitorForItsPassword) {
    const httplib::Result page = get(albumPath(locked));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 403);
    EXPECT_NE(page->body.find("class=\"album-password"), std::string::npos);
    EXPECT_NE(page->body.find("type=\"password\""), std::string::npos);
    EXPECT_TRUE(photoAddresses(page->body).empty());
}

TEST_F(AccessTest, TheRightAlbumPasswordGivesACookieForThatAlbumOnly) {
    const httplib::Result wrong = post(albumPath(locked), "password=guess");
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 403);
    EXPECT_FALSE(wrong->has_header("Set-Cookie"));

    const httplib::Result right = post(albumPath(locked), "password=open+sesame");
    ASSERT_TRUE(right);
    ASSERT_EQ(right->status, 303);
    EXPECT_EQ(right->get_header_value("Location"), albumPath(locked));
    const std::string setCookie = right->get_header_value("Set-Cookie");
    const std::string cookie = setCookie.substr(0, setCookie.find(';'));
    EXPECT_EQ(cookie.rfind("pikto_album_" + locked + "=", 0), 0u) << cookie;

    const httplib::Result page = get(albumPath(locked), cookie);
    ASSERT_EQ(page->status, 200);
    const std::vector<std::string> shown = photoAddresses(page->body, cookie);
    ASSERT_EQ(shown.size(), 1u); // the album's public photo only
    EXPECT_EQ(get(shown[0], cookie)->body, "JPEG-public-" + locked);
    EXPECT_EQ(get(shown[0])->status, 404);
    // The same value does not open another album.
    EXPECT_EQ(get(albumPath(open), "pikto_album_" + open + cookie.substr(cookie.find('=')))->status,
              200);
    const std::string forged = "pikto_album_" + locked + "=" + std::string(64, '0');
    EXPECT_EQ(get(albumPath(locked), forged)->status, 403);
}

// A cookie given for an album's password must not open the album again once the owner has
// changed the password, not even after setting the old password back.
TEST_F(AccessTest, ChangingTheAlbumPasswordEvenBackToTheOldOneVoidsItsCookies) {
    const httplib::Result right = post(albumPath(locked), "password=open+sesame");
    const std::string setCookie = right->get_header_value("Set-Cookie");
    const std::string cookie = setCookie.substr(0, setCookie.find(';'));
    ASSERT_EQ(get(albumPath(locked), cookie)->status, 200);
    for (const char* password : {"new one", "open sesame"}) {
        const httplib::Result changed = client->Put(
            ("/api/users/alice/album/" + locked + "/").c_str(),
            {{"Authorization", "ZimpToken realm=\"x\", token=\"tok-alice\""}},
            std::string("<entry xmlns=\"http://www.w3.org/2005/Atom\" xmlns:f=\"ovrana:pikto\">"
                        "<title>Locked</title><f:password>") +
                password + "</f:password></entry>",
            "application/atom+xml");
        ASSERT_TRUE(changed && changed->status == 200);
        EXPECT_EQ(get(albumPath(locked), cookie)->status, 403) << password;
    }
}

TEST_F(AccessTest, TheOwnerSignedInOnTheSiteSeesEveryPhotoOfEveryAlbum) {
    EXPECT_TRUE(signIn("alice", "wrong").empty());
    const std::string owner = signIn("alice", "secret");
    ASSERT_FALSE(owner.empty());
    EXPECT_EQ(owner.rfind("pikto_session=", 0), 0u);
    EXPECT_EQ(photoAddresses(get(albumPath(open), owner)->body, owner).size(), 3u);
    const httplib::Result protectedPage = get(albumPath(locked), owner);
    ASSERT_EQ(protectedPage->status, 200);
    EXPECT_EQ(photoAddresses(protectedPage->body, owner).size(), 3u);
    // Another account signed in is a visitor like any other.
    const std::string bob = signIn("bob", "pw");
    ASSERT_FALSE(bob.empty());
    EXPECT_EQ(photoAddresses(get(albumPath(open), bob)->body, bob).size(), 1u);
    EXPECT_EQ(get(albumPath(locked), bob)->status, 403);
}

TEST_F(AccessTest, SigningOutEndsTheSession) {
    const std::string owner = signIn("alice", "secret");
    ASSERT_FALSE(owner.empty());
    const httplib::Result out = post("/passport/signout/", "", owner);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->status, 303);
    EXPECT_EQ(photoAddresses(get(albumPath(open), owner)->body, owner).size(), 1u);
}

TEST_F(AccessTest, SignInRedirectsOnlyWithinTheSite) {
    for (const char* back :
         {"https%3A%2F%2Fevil.example%2F", "%2F%2Fevil.example%2F", "%2F%5Cevil"}) {
        const httplib::Result result =
            post("/passport/signin/", std::string("login=alice&password=secret&back=") + back);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 303);
        EXPECT_EQ(result->get_header_value("Location"), "/") << back;
    }
}

TEST_F(AccessTest, AlbumPasswordGuessingIsLimited) {
    int limited = 0;
    for (int i = 0; i < 11; ++i) {
        const httplib::Result result =
            post(albumPath(locked), "password=guess" + std::to_string(i));
        ASSERT_TRUE(result);
        if (result->status == 429)
            ++limited;
    }
    EXPECT_EQ(limited, 1);
}

} // namespace

namespace {

TEST(BlogLoginTest, TheFirstLabelOfTheHostNamesTheUser) {
    EXPECT_EQ(WebPages::blogLogin("alice.localhost:8480"), "alice");
    EXPECT_EQ(WebPages::blogLogin("bob.localhost"), "bob");
    EXPECT_EQ(WebPages::blogLogin("localhost:8480"), "");
    EXPECT_EQ(WebPages::blogLogin("127.0.0.1:8480"), "");
    EXPECT_EQ(WebPages::blogLogin("[::1]:8480"), "");
    EXPECT_EQ(WebPages::blogLogin(".localhost"), "");
    EXPECT_EQ(WebPages::blogLogin(""), "");
}

TEST_F(AccessTest, TheBlogAddressLeadsToTheUsersPageOfAlbums) {
    const httplib::Result blog =
        client->Get("/go.xml", {{"Host", "alice.localhost:" + std::to_string(service.port())}});
    ASSERT_TRUE(blog);
    EXPECT_EQ(blog->status, 303);
    ASSERT_EQ(blog->get_header_value("Location"), "/users/alice/");
    const httplib::Result page = get("/users/alice/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("href=\"/users/alice/album/" + open + "/\""), std::string::npos);
    EXPECT_NE(page->body.find("href=\"/users/alice/album/" + locked + "/\""), std::string::npos);
}

TEST_F(AccessTest, TheBlogPageOfAnUnknownUserIs404) {
    for (const char* host : {"mallory.localhost", "127.0.0.1", "localhost"}) {
        const httplib::Result page = client->Get("/go.xml", {{"Host", host}});
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 404) << host;
    }
}

} // namespace
