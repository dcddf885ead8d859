// Sign-in from the plug-in's page in the stand-in host, against pikto-service, with the
// remembered account in a real Secret Service (the test runs inside with-keyring).
#include "pagedriver.h"

#include "keychain.h"
#include "preferences.h"
#include "tickwait.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>

using namespace PageDriver;

namespace {

const QString keychainService = QStringLiteral("iphoto-exporter");

class SignInTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.setUp()) << host.lastError().toStdString();
        // Items left by an earlier test of the same keyring session.
        Keychain::deleteGenericPassword(keychainService, QStringLiteral("demo"));
    }
    void TearDown() override {
        Keychain::deleteGenericPassword(keychainService, QStringLiteral("demo"));
    }

    QString ru(const char* key) { return bundleText(host, QStringLiteral("ru"), key); }
    ServiceProcess& service() { return *host.service(); }
    QStringList signInCalls() {
        return requestsContaining(service(), QStringLiteral("/ovmrsa/key/"));
    }
    QLineEdit* loginText() { return host.widget<QLineEdit>("loginText"); }
    QLineEdit* passwordText() { return host.widget<QLineEdit>("passwordText"); }
    Preferences preferences() { return Preferences(Preferences::defaultPath()); }

    // Signs in with the remembered account ticked and checks that it worked.
    void signInRemembering(const QString& password = QStringLiteral("secret")) {
        ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
        signIn(host, QStringLiteral("demo"), password);
        ASSERT_EQ(currentTab(host), 1);
    }

    // Quits the host and starts it again with the Export dialog open.
    void restartHost() {
        host.closeHost();
        host.clearTicks();
        ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    }

    HostFixture host{{.startService = true}};
};

TEST_F(SignInTest, ManualSignInShowsTheSignedInPageWithTheAlbumsAndFocusOnTheTable) {
    Account account(*host.service(), QStringLiteral("demo"), QStringLiteral("secret"));
    ASSERT_TRUE(account.signedIn());
    ASSERT_FALSE(account.createAlbum(QStringLiteral("Море")).isEmpty());
    ASSERT_FALSE(account.createAlbum(QStringLiteral("Горы")).isEmpty());
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    const qsizetype callsBefore = signInCalls().size();

    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));

    EXPECT_EQ(currentTab(host), 1);
    EXPECT_EQ(visibleAlert(), nullptr);
    auto* table = host.widget<QAbstractItemView>("albumsList");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), QStringLiteral("Море"));
    EXPECT_EQ(focusedWidget(host), table);
    for (const char* control : {"loginText", "passwordText", "signInButton", "rememberMeButton"})
        EXPECT_TRUE(host.widget<QWidget>(control)->isEnabled()) << control;
    EXPECT_FALSE(host.widget<QProgressBar>("signInProgress")->isVisible());
    EXPECT_TRUE(host.widget<QLabel>("loginLabelText")->text().contains(QStringLiteral("demo")));
    EXPECT_EQ(signInCalls().size(), callsBefore + 1);
    EXPECT_TRUE(host.ticks().isEmpty());
}

TEST_F(SignInTest, WrongPasswordShowsTheAuthMessageAfterOneCallAndFocusesThePassword) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    signIn(host, QStringLiteral("demo"), QStringLiteral("wrong"));

    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), ru("OPAuthErrorCheckLoginOrPassword"));
    EXPECT_EQ(alert->text(), ru("OPServiceName"));
    answer(alert);

    EXPECT_EQ(currentTab(host), 0);
    EXPECT_EQ(focusedWidget(host), passwordText());
    EXPECT_TRUE(passwordText()->isEnabled());
    EXPECT_EQ(signInCalls().size(), 1);
    EXPECT_TRUE(host.ticks().isEmpty());
    // Nothing is remembered from a failed sign-in.
    EXPECT_FALSE(QFile::exists(Preferences::defaultPath()));
}

TEST_F(SignInTest, ConnectionFailureTriesTwiceWithTwentyTicksAfterEachAttempt) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    ASSERT_TRUE(service().fault(QStringLiteral("/ovmrsa/key/"), QStringLiteral("status"), 2, 503));
    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));

    EXPECT_EQ(host.ticks(), (QList<unsigned>{20, 20}));
    EXPECT_EQ(signInCalls().size(), 2);
    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), ru("OPConnectionErrorTryAgain"));
    answer(alert);
    EXPECT_EQ(currentTab(host), 0);
    EXPECT_EQ(focusedWidget(host), passwordText());
}

TEST_F(SignInTest, ALoginOfSpacesShowsTheMessageFocusesTheLoginAndSendsNothing) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    signIn(host, QStringLiteral("   "), QStringLiteral("secret"));

    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), ru("OPLoginMissing"));
    answer(alert);
    EXPECT_EQ(focusedWidget(host), loginText());
    EXPECT_TRUE(loginText()->isEnabled());
    EXPECT_TRUE(signInCalls().isEmpty());
}

TEST_F(SignInTest, APasswordOfSpacesShowsTheMessageFocusesThePasswordAndSendsNothing) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    signIn(host, QStringLiteral("demo"), QStringLiteral(" \t "));

    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), ru("OPPasswordMissing"));
    answer(alert);
    EXPECT_EQ(focusedWidget(host), passwordText());
    EXPECT_TRUE(signInCalls().isEmpty());
}

TEST_F(SignInTest, ALoginWithSurroundingSpacesIsSentAsTyped) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    signIn(host, QStringLiteral(" demo "), QStringLiteral("secret"));

    // The service knows "demo", not " demo ": the spaces reached it.
    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), ru("OPAuthErrorCheckLoginOrPassword"));
    answer(alert);
    EXPECT_EQ(signInCalls().size(), 1);
}

TEST_F(SignInTest, AcceptedSignInWithoutAnAlbumListStaysSignedOutWithTheAgreementMessage) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    ASSERT_TRUE(service().fault(QStringLiteral("/api/"), QStringLiteral("status"), 5, 500));
    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));

    EXPECT_EQ(host.ticks(), (QList<unsigned>{15, 15, 15, 15, 15}));
    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), ru("OPEULAAccept"));
    EXPECT_EQ(currentTab(host), 0);
    EXPECT_TRUE(passwordText()->text().isEmpty());
    EXPECT_TRUE(loginText()->isEnabled());
    answer(alert);
    // Nothing was remembered: the account was not usable.
    EXPECT_FALSE(Keychain::findGenericPassword(keychainService, QStringLiteral("demo")));
}

TEST_F(SignInTest, RememberMeStoresTheLoginBesideOtherKeysAndThePasswordInTheKeychain) {
    ASSERT_TRUE(
        preferences().setValues({{QStringLiteral("UpdateCancellationsCount"), qint64(2)},
                                 {QStringLiteral("LastUpdateTimestamp"), QStringLiteral("kept")}}));
    signInRemembering();

    const QVariantMap stored = preferences().read();
    EXPECT_EQ(stored.value(QStringLiteral("Login")).toString(), QStringLiteral("demo"));
    EXPECT_EQ(stored.value(QStringLiteral("UpdateCancellationsCount")).toLongLong(), 2);
    EXPECT_EQ(stored.value(QStringLiteral("LastUpdateTimestamp")).toString(),
              QStringLiteral("kept"));
    EXPECT_EQ(Keychain::findGenericPassword(keychainService, QStringLiteral("demo")),
              QStringLiteral("secret"));
}

TEST_F(SignInTest, RememberMeSwitchedOffWritesNeitherThePreferencesNorTheKeychain) {
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    auto* remember = host.widget<QCheckBox>("rememberMeButton");
    remember->setChecked(true);
    remember->click();
    ASSERT_FALSE(remember->isChecked());
    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));
    ASSERT_EQ(currentTab(host), 1);

    EXPECT_FALSE(QFile::exists(Preferences::defaultPath()));
    EXPECT_FALSE(Keychain::findGenericPassword(keychainService, QStringLiteral("demo")));
}

TEST_F(SignInTest, ARestartSignsInByItselfWithoutAMessage) {
    signInRemembering();
    restartHost();

    ASSERT_TRUE(HostFixture::waitFor([this] { return currentTab(host) == 1; }));
    EXPECT_EQ(visibleAlert(), nullptr);
    EXPECT_EQ(loginText()->text(), QStringLiteral("demo"));
    // The placeholder is cleared once the automatic sign-in is over.
    EXPECT_TRUE(passwordText()->text().isEmpty());
    EXPECT_TRUE(passwordText()->isEnabled());
    EXPECT_FALSE(host.widget<QProgressBar>("signInProgress")->isVisible());
    EXPECT_EQ(signInCalls().size(), 2);
}

TEST_F(SignInTest, AutomaticSignInShowsSevenBulletsAndReportsAConnectionFailure) {
    signInRemembering();
    host.closeHost();
    ASSERT_TRUE(service().fault(QStringLiteral("/ovmrsa/key/"), QStringLiteral("status"), 2, 503));
    // What the form shows while the automatic sign-in blocks in its pauses.
    QStringList seen;
    TickWait::setHook([this, &seen](unsigned ticks) {
        seen << QStringLiteral("%1 ticks, password %2, enabled %3")
                    .arg(ticks)
                    .arg(passwordText()->text().size())
                    .arg(passwordText()->isEnabled());
    });
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();

    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    TickWait::setHook({});
    EXPECT_EQ(seen, (QStringList{QStringLiteral("20 ticks, password 7, enabled 0"),
                                 QStringLiteral("20 ticks, password 7, enabled 0")}));
    EXPECT_EQ(alert->informativeText(), ru("OPConnectionErrorTryAgain"));
    answer(alert);
    EXPECT_EQ(currentTab(host), 0);
    EXPECT_TRUE(passwordText()->text().isEmpty());
    EXPECT_EQ(focusedWidget(host), passwordText());
}

TEST_F(SignInTest, AutomaticSignInWithAStalePasswordFailsSilently) {
    ASSERT_TRUE(preferences().setValue(QStringLiteral("Login"), QStringLiteral("demo")));
    ASSERT_TRUE(Keychain::storeGenericPassword(keychainService, QStringLiteral("demo"),
                                               QStringLiteral("old")));
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();

    ASSERT_TRUE(HostFixture::waitFor(
        [this] { return signInCalls().size() == 1 && passwordText()->isEnabled(); }));
    HostFixture::processEvents(30);
    EXPECT_EQ(visibleAlert(), nullptr);
    EXPECT_EQ(currentTab(host), 0);
    EXPECT_EQ(loginText()->text(), QStringLiteral("demo"));
    EXPECT_TRUE(passwordText()->text().isEmpty());
}

TEST_F(SignInTest, AMissingKeychainItemShowsTheLoginAndFocusesThePasswordWithoutARequest) {
    ASSERT_TRUE(preferences().setValue(QStringLiteral("Login"), QStringLiteral("demo")));
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();

    ASSERT_TRUE(HostFixture::waitFor([this] { return focusedWidget(host) == passwordText(); }));
    EXPECT_EQ(loginText()->text(), QStringLiteral("demo"));
    EXPECT_TRUE(loginText()->isEnabled());
    EXPECT_EQ(currentTab(host), 0);
    HostFixture::processEvents(30);
    EXPECT_TRUE(signInCalls().isEmpty());
}

TEST_F(SignInTest, SignOutDeletesTheKeychainItemAndTheNextStartAsksOnlyForThePassword) {
    signInRemembering();
    ASSERT_TRUE(Keychain::findGenericPassword(keychainService, QStringLiteral("demo")));
    auto* signOut = host.widget<QLabel>("signOutLabel");
    clickLink(signOut, QPoint(4, signOut->height() / 2));

    EXPECT_EQ(currentTab(host), 0);
    EXPECT_FALSE(Keychain::findGenericPassword(keychainService, QStringLiteral("demo")));
    EXPECT_TRUE(passwordText()->text().isEmpty());
    EXPECT_EQ(focusedWidget(host), passwordText());
    EXPECT_EQ(preferences().value(QStringLiteral("Login")).toString(), QStringLiteral("demo"));
    EXPECT_EQ(host.widget<QAbstractItemView>("albumsList")->model()->rowCount(), 0);

    restartHost();
    ASSERT_TRUE(HostFixture::waitFor([this] { return focusedWidget(host) == passwordText(); }));
    HostFixture::processEvents(30);
    EXPECT_EQ(loginText()->text(), QStringLiteral("demo"));
    EXPECT_EQ(currentTab(host), 0);
    EXPECT_EQ(signInCalls().size(), 1);
}

TEST_F(SignInTest, RememberingAgainStoresAChangedPassword) {
    // An item from before the password changed.
    ASSERT_TRUE(Keychain::storeGenericPassword(keychainService, QStringLiteral("demo"),
                                               QStringLiteral("old-secret")));
    signInRemembering(QStringLiteral("secret"));
    EXPECT_EQ(Keychain::findGenericPassword(keychainService, QStringLiteral("demo")),
              QStringLiteral("secret"));

    restartHost();
    EXPECT_TRUE(HostFixture::waitFor([this] { return currentTab(host) == 1; }));
}

} // namespace
