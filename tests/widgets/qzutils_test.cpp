#include "bundle.h"
#include "log.h"
#include "propertylist.h"
#include "qzutils.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class QZUtilsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Bundle::clearLoaded();
        qputenv("OVPIKTO_LANG", "ru");
        bundlePath = dir.filePath("Plugin.iPhotoExporter");
        QDir().mkpath(bundlePath + "/Contents/Resources/ru.lproj");
        QDir().mkpath(bundlePath + "/Contents/Resources/art");
        PropertyList::writeDictionary(bundlePath + "/Contents/Info.plist",
                                      {{"CFBundleIdentifier", "com.ovrana.iphoto.exporter"},
                                       {"OPServiceName", "plain name"},
                                       {"OVBoth", "plain"}});
        QFile strings(bundlePath + "/Contents/Resources/ru.lproj/InfoPlist.strings");
        strings.open(QIODevice::WriteOnly);
        strings.write("\"OVBoth\" = \"локальный\";\n");
        strings.close();
        QImage image(4, 3, QImage::Format_ARGB32);
        image.fill(Qt::red);
        image.save(bundlePath + "/Contents/Resources/UI_login.png");
        image.save(bundlePath + "/Contents/Resources/art/photo.jpg");
        image.save(bundlePath + "/Contents/Resources/art/noext", "PNG");
        Bundle::registerLoaded(bundlePath);
    }
    void TearDown() override {
        Bundle::clearLoaded();
        qunsetenv("OVPIKTO_LANG");
    }
    QTemporaryDir dir;
    QString bundlePath;
};

} // namespace

TEST(QZUtilsResources, SplitsResourceNames) {
    auto parts = QZUtils::splitResourceName("UI_login.png");
    EXPECT_EQ(parts.baseName, "UI_login");
    EXPECT_EQ(parts.type, "png");
    EXPECT_TRUE(parts.directory.isEmpty());
    parts = QZUtils::splitResourceName("art/noext");
    EXPECT_EQ(parts.baseName, "noext");
    EXPECT_TRUE(parts.type.isEmpty());
    EXPECT_EQ(parts.directory, "art");
    parts = QZUtils::splitResourceName("a/b/c.d.png");
    EXPECT_EQ(parts.directory, "a/b");
    EXPECT_EQ(parts.baseName, "c.d");
}

TEST_F(QZUtilsTest, LoadsImagesFromTheBundleResources) {
    const QImage png = QZUtils::loadPngImageFromResource("UI_login.png");
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(4, 3));
    EXPECT_FALSE(QZUtils::loadImageFromResource("art/noext").isNull());
    EXPECT_EQ(QZUtils::loadJpgImageFromResource("art/photo.jpg").text("flipped"), "1");
    EXPECT_TRUE(QZUtils::loadImageFromResource("").isNull());
    EXPECT_TRUE(QZUtils::loadImageFromResource("missing.png").isNull());
    EXPECT_TRUE(QZUtils::loadImageFromResource("UI_login").isNull()) << "the type is part of it";
}

TEST_F(QZUtilsTest, AlertsAreWindowModalAndReportTheirButtons) {
    QWidget window;
    window.show();
    QApplication::setActiveWindow(&window);

    QList<int> codes;
    QList<QWidget*> contexts;
    auto record = [&](int code, QWidget* context) {
        codes << code;
        contexts << context;
    };
    QZUtils::showMessage("informative", "headline", "UI_login.png", record);
    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "headline");
    EXPECT_EQ(box->informativeText(), "informative");
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().first()->text(), QStringLiteral("ОK"));
    box->buttons().first()->click();
    QApplication::processEvents();
    QApplication::setActiveWindow(&window);

    QZUtils::showYesCancelMessage("sure?", "delete", QString(), record);
    QMessageBox* question = nullptr;
    for (auto* candidate : window.findChildren<QMessageBox*>()) {
        if (candidate->text() == "delete")
            question = candidate;
    }
    ASSERT_NE(question, nullptr);
    ASSERT_EQ(question->buttons().size(), 2);
    QStringList titles;
    for (auto* button : question->buttons())
        titles << button->text();
    EXPECT_TRUE(titles.contains(QStringLiteral("Да")));
    EXPECT_TRUE(titles.contains(QStringLiteral("Отменить")));
    for (auto* button : question->buttons()) {
        if (button->text() == QStringLiteral("Отменить"))
            button->click();
    }
    EXPECT_EQ(codes, (QList<int>{1000, 1001}));
    EXPECT_EQ(contexts, (QList<QWidget*>{&window, &window}));
}

TEST(QZUtilsFonts, CreatesTheFaceAndSizeAsked) {
    const QFont bold = QZUtils::createFontWithFontName("Lucida Grande", 13, "Bold");
    EXPECT_EQ(bold.family(), "Lucida Grande");
    EXPECT_DOUBLE_EQ(bold.pointSizeF(), 13.0);
    EXPECT_TRUE(bold.bold());
    EXPECT_FALSE(QZUtils::createFontWithFontName("Lucida Grande", 11, "Regular").bold());
}
