#include "updaterwindow.h"

#include "maincontroller.h"
#include "qzutils.h"
#include "ui_updaterwindow.h"

#include <QCloseEvent>

namespace {
// The stack's pages in the order of the interface file.
QWidget* pageFor(Ui::UpdaterWindow& ui, const QString& page) {
    if (page == MainController::pageDownload)
        return ui.downloadAndInstall;
    if (page == MainController::pageCloseIPhoto)
        return ui.closeIPhoto;
    if (page == MainController::pageThank)
        return ui.thank;
    return ui.propose;
}
} // namespace

UpdaterWindow::UpdaterWindow(MainController& controller, QWidget* parent)
    : QWidget(parent), m_controller(controller), m_ui(std::make_unique<Ui::UpdaterWindow>()) {
    m_ui->setupUi(this);
    m_ui->urlPath->hide();
    connect(m_ui->installButton, &QPushButton::clicked, &m_controller,
            &MainController::installUpdate);
    connect(m_ui->cancelUpdateButton, &QPushButton::clicked, &m_controller,
            &MainController::cancelUpdate);
    connect(m_ui->downloadButton, &QPushButton::clicked, &m_controller,
            &MainController::cancelDownload);
    connect(m_ui->continueButton, &QPushButton::clicked, &m_controller,
            &MainController::tryToContinueInstallation);
    connect(m_ui->closeButton, &QPushButton::clicked, &m_controller, &MainController::closeUpdater);
    connect(m_ui->urlPath, &QLineEdit::returnPressed, this,
            [this] { m_controller.downloadFile(m_ui->urlPath->text()); });
    connect(&m_controller, &MainController::stateChanged, this, &UpdaterWindow::refresh);
    connect(&m_controller, &MainController::downloadFailed, this,
            &UpdaterWindow::showDownloadFailure);
    connect(&m_controller, &MainController::terminateRequested, this, [this] {
        m_closingByController = true;
        close();
    });
    refresh();
}

UpdaterWindow::~UpdaterWindow() = default;

QString UpdaterWindow::currentPage() const {
    const QWidget* shown = m_ui->tabview->currentWidget();
    if (shown == m_ui->downloadAndInstall)
        return MainController::pageDownload;
    if (shown == m_ui->closeIPhoto)
        return MainController::pageCloseIPhoto;
    if (shown == m_ui->thank)
        return MainController::pageThank;
    return MainController::pagePropose;
}

void UpdaterWindow::refresh() {
    const UpdaterPageState& state = m_controller.state();
    m_ui->tabview->setCurrentWidget(pageFor(*m_ui, state.page));
    m_ui->proposeText->setText(state.proposeText);
    if (!state.downloadTitle.isNull())
        m_ui->downloadTitle->setText(state.downloadTitle);
    m_ui->downloadInfo->setText(state.downloadInfo);
    if (state.barIndeterminate) {
        // Qt draws an indeterminate bar as a busy indicator.
        m_ui->downloadBar->setRange(0, 0);
    } else {
        m_ui->downloadBar->setRange(0, 1000);
        m_ui->downloadBar->setValue(int(state.barValue));
    }
    m_ui->finishTitle->setText(state.finishTitle);
    m_ui->finishText->setText(state.finishText);
    if (!state.closeButtonTitle.isNull())
        m_ui->closeButton->setText(state.closeButtonTitle);
}

void UpdaterWindow::showDownloadFailure(const QString& message) {
    QZUtils::showMessage(message, QStringLiteral("Download Failed"));
}

void UpdaterWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!m_closingByController) {
        m_closingByController = true;
        m_controller.windowWillClose();
    }
}
