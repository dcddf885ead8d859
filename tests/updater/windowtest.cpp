// The updater's window with real widgets, driven through its buttons.
#include "controllerfixture.h"
#include "loopbackresponder.h"
#include "qstringprinter.h"
#include "qzutils.h"
#include "ui_updaterwindow.h"
#include "updaterwindow.h"

#include "../widgets/screenshot.h"

#include "eventloopwait.h"
#include <QApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

namespace {

class UpdaterWindowTest : public ControllerFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(root.startService()) << root.service().lastError().toStdString();
    }

    void open() {
        window = std::make_unique<UpdaterWindow>(driver().controller);
        driver().controller.awakeFromNib();
        window->show();
        QApplication::setActiveWindow(window.get());
    }

    std::unique_ptr<UpdaterWindow> window;
};

TEST_F(UpdaterWindowTest, ThePagesFromProposalToSuccess) {
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"),
                             UpdaterRoot::releaseArchive(QStringLiteral("1.3.0")).bytes()));
    driver().hostRunning = true;
    open();
    Ui::UpdaterWindow& ui = window->ui();
    EXPECT_EQ(window->currentPage(), MainController::pagePropose);
    EXPECT_EQ(ui.proposeText->text(), driver().controller.state().proposeText);
    EXPECT_TRUE(ui.proposeText->text().contains(QStringLiteral("1.3.0")));
    EXPECT_TRUE(saveScreenshot(*window, QStringLiteral("updater-propose")));

    ui.installButton->click();
    ASSERT_TRUE(driver().waitForPage(MainController::pageCloseIPhoto));
    EXPECT_EQ(window->currentPage(), MainController::pageCloseIPhoto);
    QApplication::processEvents();
    EXPECT_TRUE(saveScreenshot(*window, QStringLiteral("updater-close-iphoto")));
    ui.continueButton->click();
    EXPECT_EQ(window->currentPage(), MainController::pageCloseIPhoto);

    const QString title =
        QZUtils::infoValueForKeyInMainBundle(QStringLiteral("OPUUpdateSuccessful"));
    driver().hostRunning = false;
    ui.continueButton->click();
    ASSERT_TRUE(driver().waitForEnd());
    EXPECT_EQ(window->currentPage(), MainController::pageThank);
    EXPECT_EQ(ui.finishTitle->text(), title);
    EXPECT_EQ(ui.closeButton->text(), QStringLiteral("Закрыть"));
    QApplication::processEvents(); // let the layout take the new texts
    EXPECT_TRUE(saveScreenshot(*window, QStringLiteral("updater-thank")));
    ui.closeButton->click();
    EXPECT_EQ(driver().terminations, 1);
}

TEST_F(UpdaterWindowTest, TheDownloadPageShowsProgressAndCancelsBackToTheProposal) {
    // The archive's server takes the request and never answers, so the page stays.
    LoopbackResponder silent{QByteArray()};
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"), "unused", {},
                             silent.origin() + QStringLiteral("/OvPikto_1.3.0.zip")));
    open();
    Ui::UpdaterWindow& ui = window->ui();
    ui.installButton->click();
    EXPECT_EQ(window->currentPage(), MainController::pageDownload);
    EXPECT_EQ(ui.downloadInfo->text(), QStringLiteral("установка соединения..."));
    EXPECT_EQ(ui.downloadBar->maximum(), 0); // busy until a length is known

    driver().controller.downloadDidReceiveResponse(3072000);
    driver().controller.downloadDidReceiveDataOfLength(1536000);
    EXPECT_EQ(ui.downloadBar->maximum(), 1000);
    EXPECT_EQ(ui.downloadBar->value(), 500);
    EXPECT_EQ(ui.downloadInfo->text(), QStringLiteral("скачано: 1500 Кб из 3000 Кб"));
    EXPECT_TRUE(saveScreenshot(*window, QStringLiteral("updater-download")));

    ui.downloadButton->click();
    EXPECT_EQ(window->currentPage(), MainController::pagePropose);
    EXPECT_EQ(ui.downloadInfo->text(), QStringLiteral("отмена..."));
}

TEST_F(UpdaterWindowTest, AFailedInstallationShowsTheFailurePage) {
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"),
                             UpdaterRoot::releaseArchive(QStringLiteral("1.3.0"), false).bytes()));
    open();
    window->ui().installButton->click();
    ASSERT_TRUE(driver().waitForEnd());
    EXPECT_EQ(window->currentPage(), MainController::pageThank);
    EXPECT_EQ(window->ui().finishTitle->text(),
              QZUtils::infoValueForKeyInMainBundle(QStringLiteral("OPUUpdateFailedTitle")));
    EXPECT_EQ(window->ui().finishText->text(),
              QZUtils::infoValueForKeyInMainBundle(QStringLiteral("OPUUpdateFailed")));
    QApplication::processEvents(); // let the layout take the new texts
    EXPECT_TRUE(saveScreenshot(*window, QStringLiteral("updater-failed")));
}

TEST_F(UpdaterWindowTest, ADownloadFailureShowsTheAlertWithTheMessageAsIs) {
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"), "unused", {},
                             root.archiveUrl(QStringLiteral("OvPikto_%@_9.9.9.zip"))));
    open();
    window->ui().installButton->click();
    ASSERT_TRUE(driver().waitForEnd());
    QMessageBox* box = nullptr;
    ASSERT_TRUE(runEventLoopUntil(
        [&] { return (box = window->findChild<QMessageBox*>()) != nullptr; }, 5000));
    EXPECT_EQ(box->text(), QStringLiteral("Download Failed"));
    EXPECT_EQ(box->informativeText(), driver().failureAlerts.value(0));
    EXPECT_EQ(window->currentPage(), MainController::pageDownload);
    box->buttons().first()->click();
}

TEST_F(UpdaterWindowTest, ClosingTheWindowEndsWithoutCountingADecline) {
    ASSERT_TRUE(root.publish(QStringLiteral("OvPikto_1.3.0.zip"), "x"));
    open();
    window->close();
    EXPECT_EQ(driver().terminations, 1);
    EXPECT_FALSE(QFile::exists(root.preferencesPath()));
}

} // namespace
