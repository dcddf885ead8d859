// The release loop from the plug-in's side: a host with plug-in 1.2.0 and the updater
// installed, release 1.3.0 made by scripts/make-release and served by pikto-service, the
// page's "Обновления" link starting the updater (recorded instead of started), that
// updater's --install, and the host started again showing the new version.
#include "hostfixture.h"
#include "ovpiktoexporter.h"
#include "preferences.h"
#include "qzlink.h"
#include "servedrelease.h"

#include <QDateTime>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString updaterApp =
    QStringLiteral("/Applications/Оврана.Пикто/Обновить Оврана.Пикто для iPhoto.app");

// Sets an environment variable for the scope and restores (or removes) it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_saved(qgetenv(name)) {
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnv() {
        if (m_had)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_saved;
};

// The module's controller is this build's class compiled from the same header: its
// fields are reached through it (the module holds its own copy of the class).
OvPiktoExporter* controllerOf(HostFixture& fixture) {
    return static_cast<OvPiktoExporter*>(fixture.plugin());
}

TEST(SelfUpdateEndToEndTest, TheLinkStartsTheUpdaterWhichInstallsTheNewRelease) {
    HostFixture fixture(HostFixture::Options{.photoCount = 1});
    ASSERT_TRUE(fixture.setUp()) << fixture.lastError().toStdString();
    ServedRelease release;
    ASSERT_TRUE(release.publish(fixture.root(), QStringLiteral("1.3.0")))
        << release.lastError().toStdString();

    // Three declines just now: the automatic check at start-up stays quiet, so only the
    // link (which ignores the back-off) can start the updater.
    ASSERT_TRUE(Preferences().setValues(
        {{QStringLiteral("UpdateCancellationsCount"), qint64(3)},
         {QStringLiteral("LastUpdateTimestamp"), QDateTime::currentDateTimeUtc()}}));
    // The plug-in reads the service's address when the host loads it.
    const ScopedEnv serviceUrl("OVPIKTO_SERVICE_URL", release.origin());

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    auto* version = fixture.widget<QLabel>("versionInfo");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Версия: 1.2.0"));
    QStringList started;
    controllerOf(fixture)->startUpdater = [&started](const QString& path) { started << path; };
    auto* link = static_cast<QZLink*>(fixture.widget<QWidget>("updateSoftwareLink"));
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton, {}, link->textRect().center());
    HostFixture::processEvents();
    ASSERT_EQ(started, QStringList{fixture.root() + updaterApp});
    EXPECT_EQ(HostFixture::alert(), nullptr);

    // What the started updater then does, unattended: the host has quit meanwhile.
    fixture.closeHost();
    const QString updater = started.first() + QStringLiteral("/Contents/MacOS/OvPiktoUpdater");
    QString output;
    ASSERT_EQ(
        release.run(updater,
                    {QStringLiteral("--install"), QStringLiteral("--wait"), QStringLiteral("10")},
                    &output),
        0)
        << output.toStdString();

    ASSERT_TRUE(fixture.openExport()) << fixture.lastError().toStdString();
    version = fixture.widget<QLabel>("versionInfo");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Версия: 1.3.0"));
    fixture.closeHost();
}

} // namespace
