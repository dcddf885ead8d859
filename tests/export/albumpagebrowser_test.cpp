// The album page an export links to, loaded in a real browser (headless Chromium).
#include "chromiumpage.h"
#include "exportscenario.h"

#include <QDir>
#include <QImage>

namespace {

using AlbumPageInBrowser = ExportScenario;

TEST_F(AlbumPageInBrowser, ListsTheExportedPhotosAndIsSavedAsScreenshot) {
    if (ChromiumPage::executable().isEmpty())
        GTEST_SKIP() << "Chromium is not installed (scripts/install-deps installs it)";
    const QString first = addPicture(QStringLiteral("harbour.jpg"), 200);
    const QString second = addPicture(QStringLiteral("lighthouse.jpg"), 30);
    ASSERT_TRUE(openSignedIn({first, second})) << lastError().toStdString();
    pressExport();
    ASSERT_TRUE(waitForPage(resultsPage));
    ASSERT_EQ(albumLinkAddress(), albumPage());

    const QString dom = QString::fromUtf8(ChromiumPage::dumpDom(albumPage()));
    ASSERT_FALSE(dom.isEmpty()) << "Chromium did not load " << albumPage().toStdString();
    EXPECT_TRUE(dom.contains(QStringLiteral("<h1 class=\"album-title\">Export test</h1>")));
    EXPECT_EQ(dom.count(QStringLiteral("<li class=\"photo\"")), 2);
    EXPECT_TRUE(dom.contains(QStringLiteral("<span class=\"name\">harbour.jpg</span>")));
    EXPECT_TRUE(dom.contains(QStringLiteral("<span class=\"name\">lighthouse.jpg</span>")));

    const QString folder = QStringLiteral(OVPIKTO_SCREENSHOTS);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString shot = folder + QStringLiteral("/export-album-page-chromium.png");
    ASSERT_TRUE(ChromiumPage::screenshot(albumPage(), shot, 1000, 800));
    const QImage image(shot);
    EXPECT_EQ(image.size(), QSize(1000, 800));
}

} // namespace
