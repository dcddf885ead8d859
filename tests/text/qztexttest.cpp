#include "qztext.h"

#include "bundle.h"
#include "log.h"
#include "propertylist.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class QZTextBundle : public ::testing::Test {
protected:
    void SetUp() override {
        Bundle::clearLoaded();
        qputenv("OVPIKTO_LANG", "ru");
        bundlePath = dir.filePath("Plugin.iPhotoExporter");
        QDir().mkpath(bundlePath + "/Contents/Resources/ru.lproj");
        PropertyList::writeDictionary(bundlePath + "/Contents/Info.plist",
                                      {{"CFBundleIdentifier", "com.ovrana.iphoto.exporter"},
                                       {"OPServiceName", "plain name"},
                                       {"OVBoth", "plain"}});
        QFile strings(bundlePath + "/Contents/Resources/ru.lproj/InfoPlist.strings");
        strings.open(QIODevice::WriteOnly);
        strings.write("\"OVBoth\" = \"локальный\";\n");
        strings.close();
        Bundle::registerLoaded(bundlePath);
    }
    void TearDown() override {
        Bundle::clearLoaded();
        qunsetenv("OVPIKTO_LANG");
    }
    QTemporaryDir dir;
    QString bundlePath;
};

QDomNodeList childrenOf(QDomDocument& document, const QString& xml) {
    document.setContent(xml, false);
    return document.documentElement().childNodes();
}

} // namespace

TEST(QZTextStrings, EncodeURLEscapesReservedCharactersOnly) {
    EXPECT_EQ(QZText::encodeURL("a+b/c=="), "a%2Bb%2Fc%3D%3D");
    EXPECT_EQ(QZText::encodeURL("plain text 100%"), "plain text 100%");
    EXPECT_EQ(QZText::encodeURL(""), "");
    EXPECT_EQ(QZText::encodeURL("user@host:80"), "user%40host%3A80");
    EXPECT_EQ(QZText::encodeURL(";/?:@&=+$,[]#!'()*"),
              "%3B%2F%3F%3A%40%26%3D%2B%24%2C%5B%5D%23%21%27%28%29%2A");
    EXPECT_EQ(QZText::encodeURL("-._~ Пикто"), "-._~ Пикто");
}

TEST(QZTextStrings, TrimStringRemovesSpacesTabsAndLineBreaks) {
    EXPECT_EQ(QZText::trimString(" \t name \n"), "name");
    EXPECT_EQ(QZText::trimString("in side"), "in side");
    EXPECT_EQ(QZText::trimString(" \r\n "), "");
}

TEST(QZTextXml, FindsTheFirstNodeOfAQualifiedName) {
    QDomDocument document;
    const QDomNodeList nodes =
        childrenOf(document, "<entry><id>1</id><f:image-count value=\"3\"/><id>2</id>text</entry>");
    EXPECT_EQ(QZText::findIndefOfXMLElementInArray(nodes, "id"), 0);
    EXPECT_EQ(QZText::findXMLElementInArray(nodes, "id").toElement().text(), "1");
    EXPECT_EQ(QZText::findIndefOfXMLElementInArray(nodes, "f:image-count"), 1);
    EXPECT_EQ(QZText::findIndefOfXMLElementInArray(nodes, "image-count"), -1);
    EXPECT_TRUE(QZText::findXMLElementInArray(nodes, "title").isNull());

    QDomDocument empty;
    EXPECT_EQ(QZText::findIndefOfXMLElementInArray(childrenOf(empty, "<e/>"), "id"), -1);
}

TEST_F(QZTextBundle, InfoValueForKeyPrefersTheLocalisedDictionary) {
    QStringList lines;
    Log::setSink([&](const QString& line) { lines << line; });
    EXPECT_EQ(QZText::infoValueForKey("OVBoth"), QStringLiteral("локальный"));
    EXPECT_EQ(QZText::infoValueForKey("OPServiceName"), "plain name");
    EXPECT_TRUE(QZText::infoValueForKey("OPNowhere").isNull());
    Log::setSink({});
    EXPECT_EQ(lines.count("infoValueForKey: Entered"), 3);
    EXPECT_EQ(lines.count("infoValueForKey: Exited OK"), 3);

    Bundle::clearLoaded();
    EXPECT_TRUE(QZText::infoValueForKey("OVBoth").isNull()) << "no plug-in bundle loaded";
}

TEST_F(QZTextBundle, InfoValueForKeyInMainBundleReadsTheApplicationBundle) {
    qputenv("OVPIKTO_MAIN_BUNDLE", bundlePath.toUtf8());
    EXPECT_EQ(QZText::infoValueForKeyInMainBundle("OVBoth"), QStringLiteral("локальный"));
    qunsetenv("OVPIKTO_MAIN_BUNDLE");
}
