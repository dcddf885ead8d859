// The updater's own build of the utilities: its OK button and its bundle.
#include "propertylist.h"
#include "qzutils.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

TEST(QZUtilsUpdater, TheOkButtonIsTitledInCyrillic) {
    EXPECT_EQ(QZUtils::okButtonTitle(), QStringLiteral("Ок"));

    QWidget window;
    window.show();
    QApplication::setActiveWindow(&window);
    QZUtils::showMessage(QStringLiteral("text"));
    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().first()->text(), QStringLiteral("Ок"));
    box->buttons().first()->click();
}

TEST(QZUtilsUpdater, ImagesComeFromTheApplicationBundle) {
    QTemporaryDir dir;
    const QString bundle = dir.filePath("Updater.app");
    QDir().mkpath(bundle + "/Contents/Resources");
    PropertyList::writeDictionary(bundle + "/Contents/Info.plist",
                                  {{"CFBundleIdentifier", "com.ovrana.iphoto.updater"}});
    QImage image(2, 2, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(bundle + "/Contents/Resources/icon.png"));

    qputenv("OVPIKTO_MAIN_BUNDLE", bundle.toUtf8());
    EXPECT_EQ(QZUtils::loadPngImageFromResource("icon.png").size(), QSize(2, 2));
    qunsetenv("OVPIKTO_MAIN_BUNDLE");
    EXPECT_TRUE(QZUtils::loadPngImageFromResource("icon.png").isNull());
}
