// The whole release loop on this machine: a host with plug-in 1.2.0 and the updater
// installed by the shared install scripts, release 1.3.0 made and signed by
// scripts/make-release and served by pikto-service, the installed updater's --install,
// and the host started afterwards showing the new version.
#include "hostfixture.h"
#include "propertylist.h"
#include "qstringprinter.h"
#include "servedrelease.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

const QString updaterApp =
    QStringLiteral("/Applications/Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app");

TEST(UpdaterEndToEndTest, AMadeReleaseIsInstalledAndTheHostShowsItsVersion) {
    HostFixture fixture(HostFixture::Options{.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ServedRelease release;
    ASSERT_TRUE(release.publish(fixture.root(), QStringLiteral("1.3.0")))
        << release.lastError().toStdString();
    const QString publicKey = release.publicKey();
    QString output;

    const QString updater =
        fixture.root() + updaterApp + QStringLiteral("/Contents/MacOS/OvPiktoUpdater");
    EXPECT_EQ(release.run(updater, {QStringLiteral("--check")}, &output), 0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("installed: 1.2.0"))) << output.toStdString();
    ASSERT_EQ(
        release.run(updater,
                    {QStringLiteral("--install"), QStringLiteral("--wait"), QStringLiteral("10")},
                    &output),
        0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("installed: 1.3.0"))) << output.toStdString();

    // The new updater checks the next release with the same key.
    const auto info = PropertyList::readDictionary(fixture.root() + updaterApp +
                                                   QStringLiteral("/Contents/Info.plist"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->value(QStringLiteral("OPUpdatePublicKey")).toString(), publicKey);
    EXPECT_EQ(info->value(QStringLiteral("CFBundleVersion")).toString(), QStringLiteral("1.3.0"));

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    QLabel* version = fixture.widget<QLabel>("versionInfo");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Версия: 1.3.0"));
}

} // namespace
