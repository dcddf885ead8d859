// Sign-in and the remembered account.
#include "ovpiktoexporter.h"

#include <QPushButton>
#include <QStackedWidget>

void OvPiktoExporter::signInAction(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::clickSignInButton() {
    signInButton->click();
}

void OvPiktoExporter::rememberMeAction(QObject* sender) {
    (void)sender;
}

void OvPiktoExporter::enableSignInControls(bool enabled) {
    (void)enabled;
}

void OvPiktoExporter::signIntoOvranaPikto(bool showErrors) {
    (void)showErrors;
}

void OvPiktoExporter::finishSignIn(QWidget* alert, int returnCode, QWidget* contextInfo) {
    (void)alert;
    (void)returnCode;
    (void)contextInfo;
}

void OvPiktoExporter::delayedAfterSignedInCallback(QTimer* timer) {
    (void)timer;
}

void OvPiktoExporter::delayedAutologinCallback(QTimer* timer) {
    (void)timer;
}

void OvPiktoExporter::delayedInitCallback(QTimer* timer) {
    (void)timer;
}

void OvPiktoExporter::rememberUserAccount() {}

bool OvPiktoExporter::loadUserAccount() {
    return false;
}

void OvPiktoExporter::startAutomaticSignIn() {}

void OvPiktoExporter::signOut() {}

void OvPiktoExporter::showSignedInTab() {
    mainTabView->setCurrentIndex(1);
}

void OvPiktoExporter::showSignedOutTab() {
    mainTabView->setCurrentIndex(0);
}
