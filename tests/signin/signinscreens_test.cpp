// Screenshots of every page and alert of sign-in, in Russian and in English, for a person to
// look at (build/screenshots/signin-*.png). Each alert shows the bundle's text of its key.
#include "pagedriver.h"

#include "keychain.h"
#include "preferences.h"
#include "tickwait.h"

#include <QDir>

using namespace PageDriver;

namespace {

class SignInScreens : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.setUp()) << host.lastError().toStdString();
        Keychain::deleteGenericPassword(QStringLiteral("iphoto-exporter"), QStringLiteral("demo"));
    }
    void TearDown() override {
        Keychain::deleteGenericPassword(QStringLiteral("iphoto-exporter"), QStringLiteral("demo"));
    }

    QString language() const { return QString::fromLatin1(GetParam()); }
    QString name(const char* what) const {
        return QStringLiteral("signin-%1-%2").arg(QLatin1String(what), language());
    }
    // Signs in with `login` and `password`, expects the alert of `key` and saves it.
    void alertShot(const char* key, const char* what, const QString& login,
                   const QString& password) {
        signIn(host, login, password);
        QMessageBox* alert = waitForAlert();
        ASSERT_NE(alert, nullptr) << what;
        EXPECT_EQ(alert->informativeText(), bundleText(host, language(), key)) << what;
        EXPECT_FALSE(HostFixture::screenshot(*alert, name(what)).isEmpty());
        answer(alert);
    }
    // What the window shows right now, without running the event loop (a sign-in blocks it).
    void shotNow(const char* what) {
        QDir().mkpath(QStringLiteral(OVPIKTO_SCREENSHOTS));
        EXPECT_TRUE(host.page()->window()->grab().save(QStringLiteral(OVPIKTO_SCREENSHOTS "/") +
                                                       name(what) + QStringLiteral(".png")));
    }

    HostFixture host{{.startService = true, .language = QString::fromLatin1(GetParam())}};
};

TEST_P(SignInScreens, EveryPageAndAlert) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    EXPECT_FALSE(host.screenshot(name("signed-out")).isEmpty());

    alertShot("OPLoginMissing", "alert-login-missing", QString(), QStringLiteral("secret"));
    alertShot("OPPasswordMissing", "alert-password-missing", QStringLiteral("demo"), QString());
    alertShot("OPAuthErrorCheckLoginOrPassword", "alert-auth", QStringLiteral("demo"),
              QStringLiteral("wrong"));

    // The form while a sign-in waits between its attempts.
    ASSERT_TRUE(
        host.service()->fault(QStringLiteral("/ovmrsa/key/"), QStringLiteral("status"), 2, 503));
    bool shot = false;
    TickWait::setHook([&](unsigned) {
        if (!shot)
            shotNow("signing-in");
        shot = true;
    });
    alertShot("OPConnectionErrorTryAgain", "alert-connection", QStringLiteral("demo"),
              QStringLiteral("secret"));
    TickWait::setHook({});
    EXPECT_TRUE(shot);

    ASSERT_TRUE(host.service()->fault(QStringLiteral("/api/"), QStringLiteral("status"), 5, 500));
    alertShot("OPEULAAccept", "alert-no-albums", QStringLiteral("demo"), QStringLiteral("secret"));

    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));
    ASSERT_EQ(currentTab(host), 1);
    EXPECT_FALSE(host.screenshot(name("signed-in")).isEmpty());

    // The restored account while its automatic sign-in runs: seven bullets, form disabled.
    host.closeHost();
    ASSERT_TRUE(
        host.service()->fault(QStringLiteral("/ovmrsa/key/"), QStringLiteral("status"), 1, 503));
    shot = false;
    TickWait::setHook([&](unsigned) {
        if (!shot)
            shotNow("automatic-sign-in");
        shot = true;
    });
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    ASSERT_TRUE(HostFixture::waitFor([this] { return currentTab(host) == 1; }));
    TickWait::setHook({});
    EXPECT_TRUE(shot);
}

INSTANTIATE_TEST_SUITE_P(Languages, SignInScreens, ::testing::Values("ru", "en"));

} // namespace
