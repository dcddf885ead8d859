#pragma once

// Drives the plug-in's page in the stand-in host the way a user does: typing, clicking,
// answering alerts. Shared by the sign-in and album tests.
#include "hostfixture.h"
#include "ovpiktoexportercommlayer.h"
#include "propertylist.h"
#include "serviceprocess.h"
#include "serviceurls.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace PageDriver {

// The alert on screen (a visible message box), or null.
inline QMessageBox* visibleAlert() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
            return box;
    return nullptr;
}

// Waits for an alert; null when none shows.
inline QMessageBox* waitForAlert() {
    HostFixture::waitFor([] { return visibleAlert() != nullptr; });
    return visibleAlert();
}

// Presses the alert's button `index` (0 the first) and lets it close.
inline void answer(QMessageBox* alert, int index = 0) {
    ASSERT_NE(alert, nullptr);
    const QList<QAbstractButton*> buttons = alert->buttons();
    ASSERT_GT(buttons.size(), index);
    // The alert lists its buttons in the order they were added.
    QAbstractButton* button = nullptr;
    for (QAbstractButton* candidate : buttons)
        if (alert->buttonRole(candidate) == QMessageBox::AcceptRole && index-- == 0)
            button = candidate;
    ASSERT_NE(button, nullptr);
    button->click();
    HostFixture::waitFor([] { return visibleAlert() == nullptr; });
    // What the answer started (a deferred end handler) runs now.
    HostFixture::processEvents();
}

// Clicks a link label on its text.
inline void clickLink(QWidget* link, const QPoint& at) {
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton, {}, at);
    HostFixture::processEvents();
}

// The installed plug-in's text for `key` in `language`, as its alerts show it.
inline QString bundleText(HostFixture& host, const QString& language, const char* key) {
    const auto strings = PropertyList::readDictionary(
        host.installedPluginPath() +
        QStringLiteral("/Contents/Resources/%1.lproj/InfoPlist.strings").arg(language));
    return strings ? strings->value(QLatin1String(key)).toString() : QString();
}

// Fills the sign-in form and presses the sign-in button; the sign-in runs before it returns.
inline void signIn(HostFixture& host, const QString& login, const QString& password) {
    // The page's start-up timer (focus, update check) runs first, as it would before a
    // person could type.
    HostFixture::processEvents(20);
    auto* loginText = host.widget<QLineEdit>("loginText");
    auto* passwordText = host.widget<QLineEdit>("passwordText");
    ASSERT_NE(loginText, nullptr);
    ASSERT_NE(passwordText, nullptr);
    loginText->setText(login);
    passwordText->setText(password);
    host.widget<QPushButton>("signInButton")->click();
}

inline int currentTab(HostFixture& host) {
    auto* tabs = host.widget<QStackedWidget>("mainTabView");
    return tabs ? tabs->currentIndex() : -1;
}

// The requests the service received whose line ("METHOD PATH") contains `part`.
inline QStringList requestsContaining(ServiceProcess& service, const QString& part) {
    return service.requests().filter(part);
}

// The widget that has the keyboard focus in the page's window.
inline QWidget* focusedWidget(HostFixture& host) {
    QWidget* page = host.page();
    return page ? page->window()->focusWidget() : nullptr;
}

// A signed-in client of the test's own, to prepare and check the account behind the page.
class Account {
public:
    Account(ServiceProcess& service, const QString& login, const QString& password)
        : m_client(ServiceUrls(service.origin())), m_credentials(login, password) {
        m_signedIn = m_client.signIntoOvranaPiktoWithCredentials(m_credentials) == 0;
    }
    bool signedIn() const { return m_signedIn; }
    OvPiktoExporterCommLayer& client() { return m_client; }
    const OVPiktoCredentials& credentials() const { return m_credentials; }

    // Creates an album; returns its identifier (empty on failure).
    QString createAlbum(const QString& title, const QString& password = {}) {
        int error = 0;
        return m_client.createNewUserAlbumWithTitle(title, QString(), password, m_credentials,
                                                    &error);
    }
    // The album as the service lists it, or nothing.
    std::optional<OvPiktoAlbum> album(const QString& albumId) {
        int error = 0;
        const auto albums = m_client.getUserAlbumsWithCredentials(m_credentials, &error);
        if (!albums)
            return std::nullopt;
        for (const OvPiktoAlbum& album : *albums)
            if (album.albumId() == albumId)
                return album;
        return std::nullopt;
    }

private:
    OvPiktoExporterCommLayer m_client;
    OVPiktoCredentials m_credentials;
    bool m_signedIn = false;
};

} // namespace PageDriver
