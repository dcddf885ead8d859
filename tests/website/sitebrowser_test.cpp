// The website in a real browser: a person registers through the form, signs in with `pikto`,
// uploads three photos and looks at the album; every page is photographed at a desktop's
// and a phone's width.

#include "piktoprocess.h"
#include "servicecontent.h"
#include "serviceprocess.h"
#include "webdriver.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonValue>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kScreenshots = QStringLiteral(OVPIKTO_SCREENSHOTS);

// A photo-like JPEG: a gradient sky over a darker ground with a sun.
QString writePhoto(const QString& folder, const QString& name, int hue) {
    QImage image(1600, 1200, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 800);
    sky.setColorAt(0, QColor::fromHsv(hue, 120, 250));
    sky.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 60, 230));
    painter.fillRect(0, 0, 1600, 800, sky);
    painter.fillRect(0, 800, 1600, 400, QColor::fromHsv((hue + 180) % 360, 140, 120));
    painter.setBrush(QColor(255, 230, 120));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(400 + hue * 2, 300), 120, 120);
    painter.end();
    const QString path = folder + "/" + name;
    return image.save(path, "JPEG", 90) ? path : QString();
}

class SiteInBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        if (WebDriver::executable().isEmpty())
            GTEST_SKIP() << "ChromeDriver is not installed (scripts/install-deps installs it)";
        ASSERT_TRUE(logFolder.isValid());
        service.setOptions(
            {{QStringLiteral("olga:first-password")}, {QStringLiteral("olga:tok-olga")}, {}});
        service.setLogFile(logFolder.filePath(QStringLiteral("service.log")));
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
        ASSERT_TRUE(QDir().mkpath(kScreenshots));
        ASSERT_TRUE(browser.start(1280, 900)) << browser.lastError().toStdString();
    }

    std::string url(const std::string& path) const { return service.origin().toStdString() + path; }

    // Photographs the page the browser shows as website-NAME-WIDTH.png and checks that it
    // fits the width: nothing wider than the window, every picture loaded.
    void photograph(const std::string& name, int width) {
        SCOPED_TRACE(name + " at " + std::to_string(width));
        EXPECT_TRUE(browser.run("return document.documentElement.scrollWidth <= window.innerWidth;")
                        .toBool())
            << "the page is wider than the window";
        EXPECT_TRUE(browser
                        .run("return Array.from(document.images).every("
                             "i => i.complete && i.naturalWidth > 0);")
                        .toBool())
            << "a picture did not load";
        const QString path =
            kScreenshots +
            QStringLiteral("/website-%1-%2.png").arg(QString::fromStdString(name)).arg(width);
        ASSERT_TRUE(browser.screenshot(path)) << browser.lastError().toStdString();
        EXPECT_EQ(QImage(path).width(), width);
    }

    // The reset link the service wrote to its log for `login`; empty when there is none.
    std::string resetLink(const std::string& login) const {
        QFile log(logFolder.filePath(QStringLiteral("service.log")));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        const QRegularExpression line(QStringLiteral("password reset link for %1: (\\S+)")
                                          .arg(QString::fromStdString(login)));
        return line.match(QString::fromUtf8(log.readAll())).captured(1).toStdString();
    }

    QTemporaryDir logFolder;
    ServiceProcess service;
    WebDriver browser;
};

TEST_F(SiteInBrowser, ARegisteredUserUploadsWithPiktoAndSeesTheAlbum) {
    // Registration through the form, from the home page's button.
    ASSERT_TRUE(browser.open(url("/")));
    ASSERT_TRUE(browser.click("main a.button[href^='/passport/?mode=register']"));
    ASSERT_TRUE(browser.waitForUrl(url("/passport/?mode=register"))) << browser.currentUrl();
    photograph("registration", 1280);
    ASSERT_TRUE(browser.resize(390, 844));
    photograph("registration", 390);
    ASSERT_TRUE(browser.resize(1280, 900));
    ASSERT_TRUE(browser.type("#login", "marta"));
    ASSERT_TRUE(browser.type("#password", "sea-and-sun-42"));
    ASSERT_TRUE(browser.type("#password2", "sea-and-sun-42"));
    ASSERT_TRUE(browser.click("form button"));
    ASSERT_TRUE(browser.waitForUrl(url("/users/marta/"))) << browser.currentUrl();

    // The new account signs in from pikto and uploads three photos.
    QTemporaryDir folder;
    QStringList photos;
    for (const auto& [name, hue] :
         {std::pair{"harbour.jpg", 200}, {"dunes.jpg", 30}, {"forest.jpg", 110}})
        photos << writePhoto(folder.path(), QString::fromLatin1(name), hue);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PIKTO_PASSWORD"), QStringLiteral("sea-and-sun-42"));
    const QStringList common = {QStringLiteral("--service"), service.origin(),
                                QStringLiteral("--login"), QStringLiteral("marta")};
    const PiktoProcess::Outcome album =
        PiktoProcess::run(common + QStringList{"album", "create", "--title", "By the sea",
                                               "--summary", "Three days on the coast"},
                          environment);
    ASSERT_EQ(album.exitCode, 0) << album.err.toStdString();
    const QString albumId = album.out.trimmed();
    const PiktoProcess::Outcome upload = PiktoProcess::run(
        common + QStringList{"upload", "--album", albumId, "--access", "public"} + photos,
        environment);
    ASSERT_EQ(upload.exitCode, 0) << upload.err.toStdString();

    // The album the upload ends with, one photo of it, the user's page.
    const std::string albumPath = "/users/marta/album/" + albumId.toStdString() + "/";
    ASSERT_TRUE(browser.open(url(albumPath)));
    EXPECT_EQ(browser.run("return document.querySelectorAll('li.photo img').length;").toInt(), 3);
    EXPECT_EQ(browser.run("return document.querySelector('h1').textContent;").toString(),
              QStringLiteral("By the sea"));
    const std::string newest = browser.run("return document.querySelector('li.photo a.tile').href;")
                                   .toString()
                                   .toStdString();
    ASSERT_TRUE(browser.click("li.photo a.tile"));
    ASSERT_TRUE(browser.waitForUrl(newest)) << browser.currentUrl();
    const std::string photoPage = browser.currentUrl();
    EXPECT_NE(photoPage.find(albumPath + "photo/"), std::string::npos) << photoPage;
    EXPECT_EQ(browser.run("return document.querySelector('h1.photo-name').textContent;").toString(),
              QStringLiteral("forest.jpg"));

    // Every page on a desktop and on a phone.
    for (const auto& [width, height] : {std::pair{1280, 900}, {390, 844}}) {
        ASSERT_TRUE(browser.resize(width, height));
        ASSERT_EQ(browser.run("return window.innerWidth;").toInt(), width);
        for (const auto& [name, path] : {std::pair<std::string, std::string>{"home", "/"},
                                         {"album", albumPath},
                                         {"photo", photoPage.substr(service.origin().size())},
                                         {"user", "/users/marta/"}}) {
            ASSERT_TRUE(browser.open(url(path)));
            photograph(name, width);
        }
    }
}

TEST_F(SiteInBrowser, AForgottenPasswordIsSetAgainFromTheLinkInTheServicesLog) {
    ServiceContent olga(service.port(), "olga", "tok-olga");
    const std::string family = olga.createAlbum("Family", "open sesame");
    ASSERT_FALSE(
        olga.upload(family, "garden.jpg", "not a picture", {{"access_type", "public"}}).empty());

    // A visitor meets the album's password form, then signs in and finds no way in.
    ASSERT_TRUE(browser.open(url("/users/olga/album/" + family + "/")));
    photograph("album-password", 1280);
    ASSERT_TRUE(browser.open(url("/passport/signin/")));
    ASSERT_TRUE(browser.type("#login", "olga"));
    ASSERT_TRUE(browser.type("#password", "wrong-password"));
    ASSERT_TRUE(browser.click("form.panel button"));
    ASSERT_TRUE(browser.waitFor("p.error"));
    EXPECT_EQ(browser.run("return document.querySelector('#login').value;").toString(),
              QStringLiteral("olga"));
    EXPECT_EQ(browser.run("return document.querySelector('#password').value;").toString(),
              QString());
    photograph("sign-in-refused", 1280);

    // The reminder, the link from the log, the new password.
    ASSERT_TRUE(browser.open(url("/passport/?mode=remember")));
    photograph("reminder", 1280);
    ASSERT_TRUE(browser.type("#login", "olga"));
    ASSERT_TRUE(browser.click("form.panel button"));
    ASSERT_TRUE(browser.waitFor("p.notice"));
    photograph("reminder-sent", 1280);
    const std::string link = resetLink("olga");
    ASSERT_FALSE(link.empty());
    ASSERT_TRUE(browser.resize(390, 844));
    ASSERT_TRUE(browser.open(link));
    photograph("reset", 390);
    ASSERT_TRUE(browser.type("#password", "second-password"));
    ASSERT_TRUE(browser.type("#password2", "second-password"));
    ASSERT_TRUE(browser.click("form.panel button"));
    ASSERT_TRUE(browser.waitForUrl(url("/users/olga/"))) << browser.currentUrl();

    // Signed in, the owner sees the album and its placeholder for a file that is no picture.
    ASSERT_TRUE(browser.open(url("/users/olga/album/" + family + "/")));
    EXPECT_EQ(browser.run("return document.querySelectorAll('li.photo img').length;").toInt(), 1);
    photograph("album-with-placeholder", 390);
    ASSERT_TRUE(browser.open(url("/users/nobody/")));
    photograph("not-found", 390);
}

} // namespace
