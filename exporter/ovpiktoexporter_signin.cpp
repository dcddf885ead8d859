// Sign-in and the remembered account.
#include "ovpiktoexporter.h"

#include "keychain.h"
#include "log.h"
#include "ovpiktoalbumlist.h"
#include "ovpiktoalbumslistcontroller.h"
#include "ovpiktoexporterbox.h"
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoexporterglobals.h"
#include "ovpiktoexportersteps.h"
#include "preferences.h"
#include "qzlink.h"
#include "qzsecuretextfield.h"
#include "qztextfield.h"
#include "qzutils.h"
#include "serviceresult.h"
#include "serviceurls.h"
#include "tickwait.h"

#include <QCheckBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QUrl>

#include <functional>

using namespace OvPiktoExporterGlobals;

using namespace OvPiktoExporterSteps;

namespace {

const QString loginKey = QStringLiteral("Login");
const QString loginIcon = QStringLiteral("UI_login.png");
// Only its length shows (seven bullets); the automatic sign-in uses the stored password.
const QString passwordPlaceholder = QStringLiteral("1234567");

// The intervals are single-precision seconds; a timer's first tick comes at once, the
// following ones an interval apart.
constexpr float autoSignInInterval = 0.01f;
constexpr float signedInInterval = 0.05f;
constexpr unsigned signInRetryTicks = 20;

// A timer of the modal-panel run-loop mode: its ticks come only while the page is on
// screen in the host's Export dialog (a tick due before is held until then). The first tick
// is due at once, the next ones an interval apart; a one-shot timer ticks once.
std::unique_ptr<QTimer> scheduleTimer(const QWidget* page, float seconds, bool repeats,
                                      std::function<void()> tick) {
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    const int interval = qMax(1, qRound(double(seconds) * 1000.0));
    QTimer* raw = timer.get();
    QObject::connect(
        raw, &QTimer::timeout, raw,
        [raw, interval, repeats, page = QPointer<const QWidget>(page), tick = std::move(tick)] {
            if (raw->interval() != interval)
                raw->setInterval(interval);
            if (!page || !page->isVisible())
                return;
            if (!repeats)
                raw->stop();
            tick();
        });
    timer->start(0);
    return timer;
}

// Stops a timer from inside its own tick; the object goes once the tick has returned.
void invalidate(std::unique_ptr<QTimer>& timer) {
    if (!timer)
        return;
    timer->stop();
    timer.release()->deleteLater();
}

QString keychainServiceName() {
    return QZUtils::infoValueForKey(QStringLiteral("OPApplicationID"));
}

} // namespace

void OvPiktoExporter::signInAction(QObject* sender) {
    (void)sender;
    logStep("signInAction", "Entered");
    credentials = OVPiktoCredentials(loginText->text(), passwordText->text());
    enableSignInControls(false);
    signInProgress->show();
    signInProgress->repaint();
    signIntoOvranaPikto(true);
    logStep("signInAction", "Exited OK");
}

void OvPiktoExporter::clickSignInButton() {
    signInButton->click();
}

void OvPiktoExporter::rememberMeAction(QObject* sender) {
    const auto* box = qobject_cast<const QCheckBox*>(sender);
    rememberMe = box && box->checkState() == Qt::Checked;
}

void OvPiktoExporter::enableSignInControls(bool enabled) {
    QWidget* const controls[] = {loginText, passwordText, signInButton, rememberMeButton};
    for (QWidget* control : controls)
        control->setEnabled(enabled);
    // Drawn now: a sign-in request may block the main thread right after.
    for (QWidget* control : controls)
        control->repaint();
}

void OvPiktoExporter::signIntoOvranaPikto(bool showErrors) {
    logStep("signIntoOvranaPikto", "Entered");
    // Only the emptiness test trims; the service gets the texts as typed.
    const QString login = credentials ? QZUtils::trimString(credentials->login()) : QString();
    const QString password = credentials ? QZUtils::trimString(credentials->password()) : QString();
    signInError = 6;

    const QString title = QZUtils::infoValueForKey(QStringLiteral("OPServiceName"));
    const auto showSignInMessage = [this, &title](const char* key) {
        QZUtils::showMessage(
            QZUtils::infoValueForKey(QLatin1String(key)), title, loginIcon,
            [this](int code, QWidget* window) { finishSignIn(nullptr, code, window); });
    };

    if (login.isEmpty()) {
        signInError = 3;
        if (showErrors)
            showSignInMessage("OPLoginMissing");
        logStep("signIntoOvranaPikto", "Exited OK");
        return;
    }
    if (password.isEmpty()) {
        signInError = 2;
        if (showErrors)
            showSignInMessage("OPPasswordMissing");
        logStep("signIntoOvranaPikto", "Exited OK");
        return;
    }

    int result = ServiceResult::OtherStatus;
    for (int attempt = 0; attempt < 2; ++attempt) {
        result = communicationLayer->signIntoOvranaPiktoWithCredentials(*credentials);
        if (result == ServiceResult::Success || result == ServiceResult::AuthRefused)
            break;
        if (result == ServiceResult::NoConnection)
            TickWait::delay(signInRetryTicks);
    }

    if (result == ServiceResult::Success) {
        reloadAlbumsListShowingErrors(false);
        if (!albumsListController->albums()) {
            showSignedOutTab();
            isSignedIn = false;
            enableSignInControls(true);
            signInProgress->hide();
            passwordText->clear();
            QZUtils::showMessage(QZUtils::infoValueForKey(QStringLiteral("OPEULAAccept")), title,
                                 loginIcon);
        } else {
            if (rememberMe)
                rememberUserAccount();
            signInProgress->hide();
            showSignedInTab();
            enableSignInControls(true);
            imagesToUpload = makeListOfImagesToUpload();
            updateImageCountLabel();
            count = 0;
            invalidate(signedInDelay);
            signedInDelay = scheduleTimer(mSettingsBox, signedInInterval, true, [this] {
                delayedAfterSignedInCallback(signedInDelay.get());
            });
            albumsList->setFocus();
        }
        logStep("signIntoOvranaPikto", "Exited OK");
        return;
    }

    const char* key = result == ServiceResult::AuthRefused    ? "OPAuthErrorCheckLoginOrPassword"
                      : result == ServiceResult::NoConnection ? "OPConnectionErrorTryAgain"
                                                              : "OPGotErrorCallSupport";
    // A connection failure is reported during an automatic sign-in too.
    if (showErrors || result == ServiceResult::NoConnection)
        showSignInMessage(key);
    isSignedIn = false;
    logStep("signIntoOvranaPikto", "Exited OK");
}

void OvPiktoExporter::finishSignIn(QWidget* alert, int returnCode, QWidget* contextInfo) {
    (void)returnCode;
    (void)contextInfo;
    // An alert closes itself when a button ends it.
    if (alert)
        alert->hide();
    signInProgress->hide();
    enableSignInControls(true);
    if (signInError == 3)
        loginText->setFocus();
    else
        passwordText->setFocus();
}

void OvPiktoExporter::delayedAfterSignedInCallback(QTimer* timer) {
    (void)timer;
    if (count == 0) {
        isSignedIn = true;
        count = 1;
        return;
    }
    invalidate(signedInDelay);
    count = 0;
    if (!triedToUpdate) {
        selfUpdate();
        triedToUpdate = true;
    }
}

void OvPiktoExporter::delayedAutologinCallback(QTimer* timer) {
    (void)timer;
    try {
        if (!initialFireFinished) {
            signInProgress->show();
            signInProgress->repaint();
            initialFireFinished = true;
        } else {
            initialFireFinished = false;
            invalidate(showWindowDelay);
            signIntoOvranaPikto(false);
            if (!isSignedIn) {
                passwordText->clear();
                enableSignInControls(true);
            }
            updateImageCountLabel();
            signInProgress->hide();
        }
    } catch (const std::exception& error) {
        Log::caught(QStringLiteral("delayedAutologinCallback"), error);
    }
    isAutoSignInInProgress = false;
}

void OvPiktoExporter::delayedInitCallback(QTimer* timer) {
    (void)timer;
    try {
        invalidate(showWindowDelay);
        if (credentials && !credentials->login().isEmpty())
            passwordText->setFocus();
        else
            loginText->setFocus();
        if (!triedToUpdate) {
            selfUpdate();
            triedToUpdate = true;
        }
    } catch (const std::exception& error) {
        Log::write(QStringLiteral("delayedInitCallback: Caught %1: %2")
                       .arg(QStringLiteral("std::exception"), QString::fromUtf8(error.what())));
    }
}

void OvPiktoExporter::rememberUserAccount() {
    logStep("rememberUserAccount", "Entered");
    const QString service = keychainServiceName();
    Preferences preferences;
    if (!preferences.setValue(loginKey, credentials->login()))
        Log::write(QStringLiteral("rememberUserAccount: cannot write %1").arg(preferences.path()));
    // An item of the same account gets the new password: keeping the old one would make
    // every later automatic sign-in fail after a password change.
    Keychain::storeGenericPassword(service, credentials->login(), credentials->password());
    logStep("rememberUserAccount", "Exited OK");
}

bool OvPiktoExporter::loadUserAccount() {
    logStep("loadUserAccount", "Entered");
    const QString login = Preferences().value(loginKey).toString();
    const auto scheduleInit = [this] {
        invalidate(showWindowDelay);
        showWindowDelay = scheduleTimer(mSettingsBox, autoSignInInterval, false,
                                        [this] { delayedInitCallback(showWindowDelay.get()); });
    };
    if (login.isEmpty()) {
        logStep("loadUserAccount", "Exited OK");
        scheduleInit();
        return false;
    }
    credentials = OVPiktoCredentials(login, QString());
    const QString service = keychainServiceName();
    loginText->setText(login);
    loginText->setFocus();

    bool found = false;
    if (const auto password = Keychain::findGenericPassword(service, login)) {
        credentials->setPassword(*password);
        found = true;
    } else {
        scheduleInit();
    }
    logStep("loadUserAccount", "Exited OK");
    return found;
}

void OvPiktoExporter::startAutomaticSignIn() {
    enableSignInControls(false);
    isAutoSignInInProgress = true;
    loginText->setText(credentials ? credentials->login() : QString());
    passwordText->setText(passwordPlaceholder);
    initialFireFinished = false;
    invalidate(showWindowDelay);
    showWindowDelay = scheduleTimer(mSettingsBox, autoSignInInterval, true,
                                    [this] { delayedAutologinCallback(showWindowDelay.get()); });
}

void OvPiktoExporter::signOut() {
    logStep("signOut", "Entered");
    showSignedOutTab();
    Keychain::deleteGenericPassword(keychainServiceName(), loginText->text());
    passwordText->clear();
    enableSignInControls(true);
    passwordText->setFocus();
    isSignedIn = false;
    albumsListController->setAlbums(std::nullopt);
    logStep("signOut", "Exited OK");
}

void OvPiktoExporter::showSignedInTab() {
    const QString login = loginText->text();
    loginLabelText->setUrl(QUrl(communicationLayer->serviceUrls().blogPage(login)));
    loginLabelText->setObjectValue(login);
    mainTabView->setCurrentIndex(1);
}

void OvPiktoExporter::showSignedOutTab() {
    mainTabView->setCurrentIndex(0);
}
