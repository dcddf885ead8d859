// The website's pages as visitors meet them: valid HTML in both languages, escaped names,
// and what an anonymous visitor, the owner and another user each see.

#include "htmlcheck.h"
#include "servicecontent.h"
#include "serviceprocess.h"
#include "sitepages.h"
#include "sitevisitor.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMap>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A small real JPEG, so thumbnails can be made of it.
std::string jpeg(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes.toStdString();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class SitePagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        service.setOptions({{QStringLiteral("alice:secret-pass"), QStringLiteral("bob:bob-pass")},
                            {QStringLiteral("alice:tok-alice")},
                            {}});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        ServiceContent alice(service.port(), "alice", "tok-alice");
        summer = alice.createAlbum("Summer", {}, "Sea and hills");
        hidden = alice.createAlbum("Drafts");
        locked = alice.createAlbum("Family", "open sesame");
        empty = alice.createAlbum("Empty");
        sea = alice.upload(summer, "sea.jpg", jpeg(640, 480, 0xff3366aa),
                           {{"access_type", "public"}});
        hills = alice.upload(summer, "hills.jpg", jpeg(480, 640, 0xff66aa33),
                             {{"access_type", "public"}, {"hide_orig", "1"}});
        friends = alice.upload(summer, "friends.jpg", jpeg(320, 240, 0xffaa3366),
                               {{"access_type", "friends"}});
        draft = alice.upload(hidden, "draft.jpg", jpeg(200, 200, 0xff999999),
                             {{"access_type", "private"}});
        family = alice.upload(locked, "family.jpg", jpeg(300, 200, 0xffcc9933),
                              {{"access_type", "public"}});
        ASSERT_FALSE(sea.empty() || hills.empty() || friends.empty() || draft.empty() ||
                     family.empty());
    }

    static std::string albumPath(const std::string& id) { return "/users/alice/album/" + id + "/"; }
    static std::string photoPath(const std::string& album, const std::string& id) {
        return albumPath(album) + "photo/" + id + "/";
    }

    // The names of the photos an album page shows, newest first.
    static QStringList names(const httplib::Result& page) {
        QStringList names;
        for (const SitePages::Photo& photo :
             SitePages::albumPhotos(QString::fromStdString(page->body)))
            names << photo.name;
        return names;
    }

    ServiceProcess service;
    std::string summer, hidden, locked, empty;
    std::string sea, hills, friends, draft, family;
};

TEST_F(SitePagesTest, EveryPageIsValidHtmlInBothLanguagesForEveryVisitor) {
    const std::vector<std::pair<std::string, int>> pages = {
        {"/", 200},
        {"/users/alice/", 200},
        {albumPath(summer), 200},
        {albumPath(empty), 200},
        {photoPath(summer, sea), 200},
        {albumPath(locked), 403},
        {"/passport/signin/", 200},
        {"/users/nobody/", 404},
    };
    for (const char* language : {"ru", "en"}) {
        SiteVisitor anonymous(service.port(), language);
        SiteVisitor owner(service.port(), language);
        ASSERT_TRUE(owner.signIn("alice", "secret-pass"));
        for (SiteVisitor* visitor : {&anonymous, &owner}) {
            for (const auto& [path, status] : pages) {
                const httplib::Result page = visitor->get(path);
                ASSERT_TRUE(page) << path;
                const int expected = visitor == &owner && path == albumPath(locked) ? 200 : status;
                EXPECT_EQ(page->status, expected) << path;
                EXPECT_TRUE(contains(page->body, std::string("<html lang=\"") + language)) << path;
                EXPECT_EQ(HtmlCheck::problems(page->body), "") << language << " " << path;
            }
        }
    }
}

TEST_F(SitePagesTest, TitlesSummariesAndFileNamesAreEscaped) {
    ServiceContent alice(service.port(), "alice", "tok-alice");
    const std::string album = alice.createAlbum("<b>Tom & \"Jerry's\"</b>", {}, "1 < 2 & 'x'");
    const std::string photo = alice.upload(album, "<img src=x onerror=alert(1)>&\".jpg",
                                           jpeg(64, 64, 0xff000000), {{"access_type", "public"}});
    ASSERT_FALSE(photo.empty());
    SiteVisitor visitor(service.port());
    for (const std::string& path : {albumPath(album), photoPath(album, photo), std::string("/"),
                                    std::string("/users/alice/")}) {
        const httplib::Result page = visitor.get(path);
        ASSERT_TRUE(page && page->status == 200) << path;
        EXPECT_FALSE(contains(page->body, "<b>Tom")) << path;
        EXPECT_FALSE(contains(page->body, "<img src=x")) << path;
        EXPECT_TRUE(contains(page->body, "&lt;b&gt;Tom &amp; &quot;Jerry&apos;s&quot;&lt;/b&gt;"))
            << path;
        EXPECT_EQ(HtmlCheck::problems(page->body), "") << path;
    }
    const httplib::Result page = visitor.get(albumPath(album));
    EXPECT_TRUE(contains(page->body, "1 &lt; 2 &amp; &apos;x&apos;"));
    EXPECT_EQ(names(page), QStringList({"<img src=x onerror=alert(1)>&\".jpg"}));
}

TEST_F(SitePagesTest, AnAnonymousVisitorSeesPublicPhotosAndNoHiddenOriginal) {
    SiteVisitor visitor(service.port());
    const httplib::Result album = visitor.get(albumPath(summer));
    ASSERT_EQ(album->status, 200);
    EXPECT_EQ(names(album), QStringList({"hills.jpg", "sea.jpg"}));
    EXPECT_TRUE(contains(album->body, "<span class=\"count\">2</span>"));
    EXPECT_EQ(visitor.get(photoPath(summer, friends))->status, 404);
    EXPECT_EQ(visitor.get(photoPath(hidden, draft))->status, 404);

    const httplib::Result open = visitor.get(photoPath(summer, sea));
    const QString original = SitePages::originalAddress(QString::fromStdString(open->body));
    ASSERT_FALSE(original.isEmpty());
    EXPECT_EQ(visitor.get(original.toStdString())->body, jpeg(640, 480, 0xff3366aa));

    // The owner asked to hide this original: others get the screen-size image only.
    const httplib::Result closed = visitor.get(photoPath(summer, hills));
    ASSERT_EQ(closed->status, 200);
    EXPECT_TRUE(SitePages::originalAddress(QString::fromStdString(closed->body)).isEmpty());
    SiteVisitor owner(service.port());
    ASSERT_TRUE(owner.signIn("alice", "secret-pass"));
    const QString ownersView = SitePages::originalAddress(
        QString::fromStdString(owner.get(photoPath(summer, hills))->body));
    ASSERT_FALSE(ownersView.isEmpty());
    EXPECT_EQ(visitor.get(ownersView.toStdString())->status, 404);
    EXPECT_EQ(owner.get(ownersView.toStdString())->status, 200);
}

TEST_F(SitePagesTest, TheUsersPageShowsEachVisitorTheAlbumsTheyMaySee) {
    SiteVisitor anonymous(service.port());
    SiteVisitor bob(service.port());
    ASSERT_TRUE(bob.signIn("bob", "bob-pass"));
    SiteVisitor owner(service.port());
    ASSERT_TRUE(owner.signIn("alice", "secret-pass"));
    for (SiteVisitor* other : {&anonymous, &bob}) {
        const std::string page = other->get("/users/alice/")->body;
        EXPECT_TRUE(contains(page, "href=\"" + albumPath(summer) + "\""));
        EXPECT_TRUE(contains(page, "href=\"" + albumPath(locked) + "\""));
        // Nothing in them this visitor may see.
        EXPECT_FALSE(contains(page, "href=\"" + albumPath(hidden) + "\""));
        EXPECT_FALSE(contains(page, "href=\"" + albumPath(empty) + "\""));
        EXPECT_FALSE(contains(page, "Фотографий: 3"));
    }
    const std::string own = owner.get("/users/alice/")->body;
    for (const std::string& album : {summer, hidden, locked, empty})
        EXPECT_TRUE(contains(own, "href=\"" + albumPath(album) + "\"")) << album;
    EXPECT_TRUE(contains(own, "Фотографий: 3"));
}

TEST_F(SitePagesTest, AnotherUserSeesOnlyWhatEveryoneSees) {
    SiteVisitor bob(service.port());
    ASSERT_TRUE(bob.signIn("bob", "bob-pass"));
    EXPECT_EQ(names(bob.get(albumPath(summer))), QStringList({"hills.jpg", "sea.jpg"}));
    EXPECT_EQ(bob.get(photoPath(summer, friends))->status, 404);
    EXPECT_EQ(bob.get(albumPath(locked))->status, 403);
    EXPECT_EQ(bob.get(photoPath(locked, family))->status, 403);
    // The owner sees every photo, newest first.
    SiteVisitor owner(service.port());
    ASSERT_TRUE(owner.signIn("alice", "secret-pass"));
    EXPECT_EQ(names(owner.get(albumPath(summer))),
              QStringList({"friends.jpg", "hills.jpg", "sea.jpg"}));
}

TEST_F(SitePagesTest, APhotoPageLeadsToTheNeighboursTheVisitorMaySee) {
    SiteVisitor owner(service.port());
    ASSERT_TRUE(owner.signIn("alice", "secret-pass"));
    const std::string middle = owner.get(photoPath(summer, hills))->body;
    EXPECT_TRUE(contains(middle, "rel=\"prev\" href=\"" + photoPath(summer, friends) + "\""));
    EXPECT_TRUE(contains(middle, "rel=\"next\" href=\"" + photoPath(summer, sea) + "\""));
    EXPECT_TRUE(contains(middle, "2 / 3"));
    // For others the friends-only photo is not there to lead to.
    SiteVisitor anonymous(service.port());
    const std::string first = anonymous.get(photoPath(summer, hills))->body;
    EXPECT_FALSE(contains(first, "rel=\"prev\""));
    EXPECT_TRUE(contains(first, "1 / 2"));
}

TEST_F(SitePagesTest, ALargeAlbumComesInPagesOfAHundredPhotos) {
    ServiceContent alice(service.port(), "alice", "tok-alice");
    const std::string album = alice.createAlbum("Many");
    const std::string bytes = jpeg(8, 8, 0xff336699);
    std::vector<std::string> ids; // oldest first
    for (int i = 1; i <= 205; ++i)
        ids.push_back(alice.upload(album, "p" + std::to_string(i) + ".jpg", bytes,
                                   {{"access_type", "public"}}));
    ASSERT_EQ(std::count(ids.begin(), ids.end(), std::string()), 0);
    SiteVisitor visitor(service.port(), "en");
    const std::string page = albumPath(album) + "?page=";
    // Page, the newest and oldest name it shows, its links to newer and older photos.
    const struct {
        std::string query;
        const char* newest;
        const char* oldest;
        std::string newer;
        std::string older;
    } cases[] = {
        {"", "p205.jpg", "p106.jpg", "", page + "2"},
        {"?page=2", "p105.jpg", "p6.jpg", albumPath(album), page + "3"},
        {"?page=3", "p5.jpg", "p1.jpg", page + "2", ""},
        {"?page=99", "p5.jpg", "p1.jpg", page + "2", ""},
        {"?page=x", "p205.jpg", "p106.jpg", "", page + "2"},
    };
    for (const auto& c : cases) {
        const httplib::Result answer = visitor.get(albumPath(album) + c.query);
        ASSERT_TRUE(answer && answer->status == 200) << c.query;
        const QStringList shown = names(answer);
        EXPECT_EQ(shown.size(), c.newest == std::string("p5.jpg") ? 5 : 100) << c.query;
        EXPECT_EQ(shown.value(0).toStdString(), c.newest) << c.query;
        EXPECT_EQ(shown.value(shown.size() - 1).toStdString(), c.oldest) << c.query;
        EXPECT_TRUE(contains(answer->body, "<span class=\"count\">205</span>")) << c.query;
        EXPECT_EQ(contains(answer->body, "rel=\"prev\" href=\"" + c.newer + "\""), !c.newer.empty())
            << c.query;
        EXPECT_EQ(contains(answer->body, "rel=\"next\" href=\"" + c.older + "\""), !c.older.empty())
            << c.query;
    }
    // A photo's page leads across the pages' edge and counts in the whole album.
    const std::string edge = visitor.get(photoPath(album, ids[105]))->body;
    EXPECT_TRUE(contains(edge, "rel=\"prev\" href=\"" + photoPath(album, ids[106]) + "\""));
    EXPECT_TRUE(contains(edge, "rel=\"next\" href=\"" + photoPath(album, ids[104]) + "\""));
    EXPECT_TRUE(contains(edge, "100 / 205"));
}

TEST_F(SitePagesTest, TheHomePageListsTheNewestOpenAlbumsWithPublicPhotos) {
    SiteVisitor visitor(service.port());
    const std::string home = visitor.get("/")->body;
    EXPECT_TRUE(contains(home, "href=\"" + albumPath(summer) + "\""));
    EXPECT_FALSE(contains(home, "href=\"" + albumPath(locked) + "\""));
    EXPECT_FALSE(contains(home, "href=\"" + albumPath(hidden) + "\""));
    EXPECT_TRUE(contains(home, "href=\"/passport/?mode=register\""));
}

TEST_F(SitePagesTest, AnEmptyAlbumSaysSo) {
    SiteVisitor owner(service.port(), "en");
    ASSERT_TRUE(owner.signIn("alice", "secret-pass"));
    const std::string page = owner.get(albumPath(empty))->body;
    EXPECT_TRUE(contains(page, "This album has no photos yet."));
    EXPECT_FALSE(contains(page, "<ul class=\"photos\">"));
}

TEST_F(SitePagesTest, TheLanguageFollowsTheBrowserUntilTheVisitorChoosesOne) {
    SiteVisitor browser(service.port(), "en-GB,en;q=0.9,ru;q=0.5");
    EXPECT_TRUE(contains(browser.get("/")->body, "<html lang=\"en\""));
    SiteVisitor russian(service.port(), "de, ru;q=0.8");
    EXPECT_TRUE(contains(russian.get("/")->body, "<html lang=\"ru\""));
    SiteVisitor refusing(service.port(), "en;q=0, fr");
    EXPECT_TRUE(contains(refusing.get("/")->body, "<html lang=\"ru\""));

    SiteVisitor chooser(service.port());
    const httplib::Result chosen = chooser.get(albumPath(summer) + "?lang=en");
    EXPECT_TRUE(contains(chosen->body, "<html lang=\"en\""));
    EXPECT_TRUE(contains(chosen->body, "Photos: <span class=\"count\">2</span>"));
    // The choice is kept, and the switch leads back.
    const std::string next = chooser.get("/users/alice/")->body;
    EXPECT_TRUE(contains(next, "<html lang=\"en\""));
    EXPECT_TRUE(contains(next, "href=\"/users/alice/?lang=ru\""));
}

TEST_F(SitePagesTest, ScaledCopiesGoOnlyToThoseWhoMaySeeThePhoto) {
    SiteVisitor owner(service.port());
    ASSERT_TRUE(owner.signIn("alice", "secret-pass"));
    QMap<QString, QString> thumbs; // name -> address
    for (const SitePages::Photo& photo :
         SitePages::albumPhotos(QString::fromStdString(owner.get(albumPath(summer))->body)))
        thumbs[photo.name] = photo.thumb;
    ASSERT_EQ(thumbs.size(), 3);

    const httplib::Result thumb = owner.get(thumbs["sea.jpg"].toStdString());
    ASSERT_EQ(thumb->status, 200);
    EXPECT_EQ(thumb->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(QImage::fromData(QByteArray::fromStdString(thumb->body)).size(), QSize(400, 300));
    // A photo smaller than the screen size keeps its own.
    const std::string screen =
        QString(thumbs["sea.jpg"]).replace("/thumb.jpg", "/screen.jpg").toStdString();
    EXPECT_EQ(QImage::fromData(QByteArray::fromStdString(owner.get(screen)->body)).size(),
              QSize(640, 480));

    SiteVisitor anonymous(service.port());
    EXPECT_EQ(anonymous.get(thumbs["sea.jpg"].toStdString())->status, 200);
    EXPECT_EQ(anonymous.get(thumbs["friends.jpg"].toStdString())->status, 404);
    EXPECT_EQ(owner.get(thumbs["friends.jpg"].toStdString())->status, 200);
    const std::string other =
        QString(thumbs["sea.jpg"]).replace("/thumb.jpg", "/large.jpg").toStdString();
    EXPECT_EQ(owner.get(other)->status, 404);
}

TEST_F(SitePagesTest, APhotoWhoseFileIsGoneHasNoThumbnailButTheAlbumStillShows) {
    ASSERT_TRUE(QFile::remove(service.dataDir() +
                              QStringLiteral("/photos/%1.jpg").arg(QString::fromStdString(sea))));
    SiteVisitor visitor(service.port());
    const httplib::Result album = visitor.get(albumPath(summer));
    ASSERT_EQ(album->status, 200);
    const QList<SitePages::Photo> photos =
        SitePages::albumPhotos(QString::fromStdString(album->body));
    ASSERT_EQ(photos.size(), 2);
    EXPECT_EQ(photos[1].name, QStringLiteral("sea.jpg"));
    EXPECT_EQ(visitor.get(photos[1].thumb.toStdString())->status, 404);
    EXPECT_EQ(visitor.get(photos[0].thumb.toStdString())->status, 200);
}

TEST_F(SitePagesTest, PagesAllowNoScriptAndNoFraming) {
    SiteVisitor visitor(service.port());
    for (const std::string& path : {std::string("/"), albumPath(summer), albumPath(locked),
                                    std::string("/passport/?mode=register")}) {
        const httplib::Result page = visitor.get(path);
        ASSERT_TRUE(page) << path;
        const std::string policy = page->get_header_value("Content-Security-Policy");
        EXPECT_TRUE(contains(policy, "default-src 'none'")) << path << ": " << policy;
        EXPECT_FALSE(contains(policy, "script-src")) << path << ": " << policy;
        EXPECT_TRUE(contains(policy, "frame-ancestors 'none'")) << path << ": " << policy;
    }
}

TEST_F(SitePagesTest, TheStylesheetIsServedAndOtherNamesAreNot) {
    SiteVisitor visitor(service.port());
    const httplib::Result css = visitor.get("/site/site.css");
    ASSERT_EQ(css->status, 200);
    EXPECT_EQ(css->get_header_value("Content-Type"), "text/css; charset=utf-8");
    for (const char* path : {"/site/ru.texts", "/site/templates%2Flayout.mustache",
                             "/site/..%2Fsite.css", "/site/missing.css"})
        EXPECT_EQ(visitor.get(path)->status, 404) << path;
}

} // namespace
