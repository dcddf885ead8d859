#include "bundle.h"
#include "paths.h"
#include "propertylist.h"
#include "tickwait.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Makes NAME/Contents with an Info.plist and, when given, a Russian InfoPlist.strings.
QString makeBundle(const QTemporaryDir& dir, const QString& name, const QVariantMap& info,
                   const QByteArray& localized = {}) {
    const QString path = dir.filePath(name);
    QDir().mkpath(path + "/Contents/Resources/ru.lproj");
    PropertyList::writeDictionary(path + "/Contents/Info.plist", info);
    if (!localized.isEmpty()) {
        QFile file(path + "/Contents/Resources/ru.lproj/InfoPlist.strings");
        file.open(QIODevice::WriteOnly);
        file.write(localized);
    }
    return path;
}

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        Bundle::clearLoaded();
        qputenv("OVPIKTO_LANG", "ru");
    }
    void TearDown() override {
        Bundle::clearLoaded();
        qunsetenv("OVPIKTO_LANG");
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(BundleTest, FindsALoadedBundleByIdentifierOnly) {
    const QString plugin = makeBundle(dir, "Plugin.iPhotoExporter",
                                      {{"CFBundleIdentifier", "com.ovrana.iphoto.exporter"}});
    makeBundle(dir, "Other.bundle", {{"CFBundleIdentifier", "org.example.other"}});
    EXPECT_FALSE(Bundle::withIdentifier("com.ovrana.iphoto.exporter").has_value());

    Bundle::registerLoaded(plugin);
    Bundle::registerLoaded(plugin + "/");
    const auto found = Bundle::withIdentifier("com.ovrana.iphoto.exporter");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->path(), QDir::cleanPath(plugin));
    EXPECT_FALSE(Bundle::withIdentifier("org.example.other").has_value());
}

TEST_F(BundleTest, ReadsPlainAndLocalisedDictionaries) {
    const QString path =
        makeBundle(dir, "P.bundle", {{"CFBundleIdentifier", "id"}, {"OnlyPlain", "plain"}},
                   "\"OPGreeting\" = \"Привет\";");
    const Bundle bundle(path);
    EXPECT_EQ(bundle.infoDictionary().value("OnlyPlain").toString(), "plain");
    EXPECT_EQ(bundle.localizedInfoDictionary().value("OPGreeting").toString(),
              QStringLiteral("Привет"));
    EXPECT_TRUE(Bundle(dir.filePath("missing")).infoDictionary().isEmpty());
}

TEST_F(BundleTest, ResolvesResourcesByNameTypeAndDirectory) {
    const QString path = makeBundle(dir, "R.bundle", {{"CFBundleIdentifier", "r"}});
    QDir().mkpath(path + "/Contents/Resources/icons");
    QFile(path + "/Contents/Resources/UI_login.png").open(QIODevice::WriteOnly);
    QFile(path + "/Contents/Resources/icons/plain").open(QIODevice::WriteOnly);
    QFile(path + "/Contents/Resources/ru.lproj/local.txt").open(QIODevice::WriteOnly);
    const Bundle bundle(path);

    EXPECT_EQ(bundle.pathForResource("UI_login", "png"), bundle.resourcesPath() + "/UI_login.png");
    EXPECT_EQ(bundle.pathForResource("plain", "", "icons"),
              bundle.resourcesPath() + "/icons/plain");
    EXPECT_EQ(bundle.pathForResource("local", "txt"),
              bundle.resourcesPath() + "/ru.lproj/local.txt");
    EXPECT_TRUE(bundle.pathForResource("UI_login", "jpg").isNull());
    EXPECT_TRUE(bundle.pathForResource("", "png").isNull());
    EXPECT_TRUE(bundle.pathForResource("icons", "").isNull()) << "a folder is not a resource";
}

TEST(Paths, ResolvesSystemPathsUnderTheRootAndHome) {
    qputenv("OVPIKTO_ROOT", "/tmp/root");
    qputenv("HOME", "/tmp/home/");
    EXPECT_EQ(Paths::resolve("/Applications/iPhoto.app"), "/tmp/root/Applications/iPhoto.app");
    EXPECT_EQ(Paths::resolve("~/Library/Preferences/x.plist"),
              "/tmp/home/Library/Preferences/x.plist");
    EXPECT_EQ(Paths::resolve("/usr/bin/unzip"), "/usr/bin/unzip");
    EXPECT_EQ(Paths::resolve("relative/file"), "relative/file");
    qunsetenv("OVPIKTO_ROOT");
    EXPECT_EQ(Paths::resolve("/Applications"), "/Applications");
}

TEST(TickWait, AHookReceivesTheTicksInsteadOfWaiting) {
    QList<unsigned> seen;
    TickWait::setHook([&](unsigned ticks) { seen.append(ticks); });
    TickWait::delay(20);
    TickWait::delay(50);
    TickWait::setHook({});
    EXPECT_EQ(seen, (QList<unsigned>{20, 50}));
}
