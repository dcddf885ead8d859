#include "hostwindow.h"

#include "bundle.h"
#include "exportdialog.h"
#include "hostinstallation.h"
#include "librarymodel.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>

HostWindow::HostWindow(const HostOptions& options, QWidget* parent)
    : QMainWindow(parent), m_options(options) {
    setWindowTitle(QStringLiteral("iPhoto"));
    resize(900, 620);

    m_library = new LibraryModel(this);
    m_library->setFolder(options.libraryDir);
    m_libraryView = new QListView(this);
    m_libraryView->setObjectName(QStringLiteral("libraryView"));
    m_libraryView->setViewMode(QListView::IconMode);
    m_libraryView->setResizeMode(QListView::Adjust);
    m_libraryView->setMovement(QListView::Static);
    m_libraryView->setUniformItemSizes(true);
    m_libraryView->setSpacing(8);
    m_libraryView->setIconSize(QSize(LibraryModel::thumbnailSize, LibraryModel::thumbnailSize));
    m_libraryView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_libraryView->setModel(m_library);
    setCentralWidget(m_libraryView);
    connect(m_libraryView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HostWindow::selectionChanged);

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("selectionStatus"));
    statusBar()->addWidget(m_statusLabel);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* exportAction = file->addAction(tr("&Export…"), this, &HostWindow::openExportDialog);
    exportAction->setObjectName(QStringLiteral("exportAction"));
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);

    m_exportDialog = new ExportDialog(this);
    m_exportManager.setClickExportHandler([this] { m_exportDialog->exportButton()->click(); });

    loadPlugins();
    selectPaths(options.selectedPaths());
    selectionChanged();
}

HostWindow::~HostWindow() {
    m_exportDialog->removeAllPlugins();
    for (LoadedPlugin& plugin : m_plugins)
        plugin.instance.reset();
}

void HostWindow::loadPlugins() {
    const Bundle application(m_options.applicationPath);
    m_version = application.infoDictionary().value(QStringLiteral("CFBundleVersion")).toString();
    m_pluginFolder =
        HostInstallation::pluginFolder(m_version, application.path()).value_or(QString());
    if (m_pluginFolder.isEmpty())
        return;
    PluginLoader loader;
    std::vector<PluginLoader::Plugin> modules = loader.loadFolder(m_pluginFolder);
    m_pluginErrors = loader.errors();
    for (PluginLoader::Plugin& module : modules) {
        std::unique_ptr<ExportPluginProtocol> instance =
            module.factory->create(module.bundlePath, &m_exportManager);
        if (!instance) {
            const QString line =
                QStringLiteral("iPhoto: plug-in %1 refused to start").arg(module.bundlePath);
            m_pluginErrors << line;
            qWarning("%s", qPrintable(line));
            continue;
        }
        m_exportDialog->addPlugin(instance.get());
        m_plugins.push_back(LoadedPlugin{std::move(module), std::move(instance)});
    }
}

std::vector<ExportPluginProtocol*> HostWindow::plugins() const {
    std::vector<ExportPluginProtocol*> result;
    for (const LoadedPlugin& plugin : m_plugins)
        result.push_back(plugin.instance.get());
    return result;
}

void HostWindow::selectPaths(const QStringList& paths) {
    QItemSelection selection;
    for (const QString& path : paths) {
        const int row = m_library->rowOfPath(path);
        if (row >= 0)
            selection.select(m_library->index(row), m_library->index(row));
    }
    m_libraryView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

QStringList HostWindow::selectedPaths() const {
    QStringList paths;
    for (int row = 0; row < m_library->rowCount(); ++row) {
        if (m_libraryView->selectionModel()->isRowSelected(row))
            paths << m_library->paths().at(row);
    }
    return paths;
}

void HostWindow::selectionChanged() {
    const QStringList paths = selectedPaths();
    m_exportManager.setSelection(paths);
    m_statusLabel->setText(
        tr("%1 of %2 photos selected").arg(paths.size()).arg(m_library->rowCount()));
}

void HostWindow::openExportDialog() {
    m_exportManager.setSelection(selectedPaths());
    m_exportDialog->openOnTab(0);
}

QImage HostWindow::snapshot() {
    QImage window = grab().toImage();
    if (!m_exportDialog->isVisible())
        return window;
    const QImage dialog = m_exportDialog->grab().toImage();
    const int top = menuBar()->height();
    QImage canvas(std::max(window.width(), dialog.width() + 40),
                  std::max(window.height(), top + dialog.height() + 20), QImage::Format_ARGB32);
    canvas.fill(palette().window().color());
    QPainter painter(&canvas);
    painter.drawImage(0, 0, window);
    painter.fillRect(canvas.rect(), QColor(0, 0, 0, 60));
    const int left = (canvas.width() - dialog.width()) / 2;
    painter.fillRect(left - 1, top - 1, dialog.width() + 2, dialog.height() + 2,
                     QColor(80, 80, 80));
    painter.drawImage(left, top, dialog);
    painter.end();
    return canvas;
}

bool HostWindow::saveScreenshot(const QString& path) {
    return snapshot().save(path, "PNG");
}
