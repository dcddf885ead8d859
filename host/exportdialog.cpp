#include "exportdialog.h"

#include "exportpluginprotocol.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
constexpr int progressIntervalMs = 100;
}

ExportDialog::ExportDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Export Photos"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("exportTabs"));
    layout->addWidget(m_tabs);

    auto* progressRow = new QHBoxLayout;
    m_progressLabel = new QLabel(this);
    m_progressLabel->setObjectName(QStringLiteral("exportProgressLabel"));
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("exportProgressBar"));
    m_progressBar->setTextVisible(false);
    m_progressBar->setMaximumWidth(160);
    m_progressBar->hide();
    progressRow->addWidget(m_progressLabel, 1);
    progressRow->addWidget(m_progressBar);
    layout->addLayout(progressRow);

    auto* buttons = new QDialogButtonBox(this);
    m_cancelButton = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    m_cancelButton->setObjectName(QStringLiteral("exportCancelButton"));
    m_exportButton = buttons->addButton(tr("Export"), QDialogButtonBox::AcceptRole);
    m_exportButton->setObjectName(QStringLiteral("exportExportButton"));
    m_exportButton->setDefault(true);
    layout->addWidget(buttons);

    connect(m_exportButton, &QPushButton::clicked, this, &ExportDialog::exportClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &ExportDialog::reject);
    connect(m_tabs, &QTabWidget::currentChanged, this, &ExportDialog::tabChanged);
    m_progressTimer.setInterval(progressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &ExportDialog::showProgress);
}

ExportDialog::~ExportDialog() {
    removeAllPlugins();
}

void ExportDialog::addPlugin(ExportPluginProtocol* plugin) {
    m_plugins.append(plugin);
    const QSignalBlocker blocker(m_tabs);
    m_tabs->addTab(plugin->settingsView(), plugin->name());
}

void ExportDialog::removeAllPlugins() {
    m_active = nullptr;
    m_plugins.clear();
    const QSignalBlocker blocker(m_tabs);
    // The pages belong to their plug-ins: give them back rather than delete them.
    while (m_tabs->count() > 0) {
        QWidget* page = m_tabs->widget(0);
        m_tabs->removeTab(0);
        page->hide();
        page->setParent(nullptr);
    }
}

ExportPluginProtocol* ExportDialog::currentPlugin() const {
    const int index = m_tabs->currentIndex();
    return index >= 0 && index < m_plugins.size() ? m_plugins.at(index) : nullptr;
}

void ExportDialog::openOnTab(int index) {
    if (index >= 0 && index < m_tabs->count()) {
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(index);
    }
    if (isVisible())
        activate(currentPlugin());
    else
        open();
}

void ExportDialog::showProgress() {
    ExportPluginProtocol* plugin = currentPlugin();
    if (!plugin)
        return;
    ExportPluginProgress shown;
    plugin->lockProgress();
    if (const ExportPluginProgress* progress = plugin->progress())
        shown = *progress;
    plugin->unlockProgress();
    m_progressLabel->setText(shown.message);
    if (shown.totalItems > 0 || shown.indeterminateProgress) {
        m_progressBar->setRange(0, shown.indeterminateProgress ? 0 : int(shown.totalItems));
        m_progressBar->setValue(int(shown.currentItem));
        m_progressBar->show();
    } else {
        m_progressBar->hide();
    }
}

void ExportDialog::reject() {
    if (ExportPluginProtocol* plugin = currentPlugin())
        plugin->cancelExport();
    QDialog::reject();
}

void ExportDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    activate(currentPlugin());
    m_progressTimer.start();
}

void ExportDialog::hideEvent(QHideEvent* event) {
    m_progressTimer.stop();
    if (m_active)
        m_active->viewWillBeDeactivated();
    m_active = nullptr;
    QDialog::hideEvent(event);
}

void ExportDialog::exportClicked() {
    ExportPluginProtocol* plugin = currentPlugin();
    if (!plugin)
        return;
    const QString path = plugin->wantsDestinationPrompt() ? plugin->defaultDirectory()
                                                          : plugin->getDestinationPath();
    plugin->startExport(path);
    plugin->performExport(path);
    showProgress();
}

void ExportDialog::tabChanged(int index) {
    (void)index;
    if (isVisible())
        activate(currentPlugin());
}

void ExportDialog::activate(ExportPluginProtocol* plugin) {
    if (m_active && m_active != plugin)
        m_active->viewWillBeDeactivated();
    m_active = plugin;
    if (!plugin)
        return;
    plugin->viewWillBeActivated();
    if (QWidget* first = plugin->firstView())
        first->setFocus();
}
