#include "exportdriver.h"

#include "exportdialog.h"
#include "hostoptions.h"
#include "hostwindow.h"
#include "qzlink.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

constexpr int failurePage = 1;
constexpr int resultsPage = 2;

int rowNamed(QTableView* table, const QString& title) {
    QAbstractItemModel* model = table->model();
    for (int row = 0; model && row < model->rowCount(); ++row)
        if (model->index(row, 0).data().toString() == title)
            return row;
    return -1;
}

QString selectedName(QTableView* table) {
    const QModelIndexList rows =
        table->selectionModel() ? table->selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

} // namespace

ExportDriver::ExportDriver(const QString& libraryDir, const QStringList& photos)
    : m_libraryDir(libraryDir), m_photos(photos) {}

ExportDriver::~ExportDriver() = default;

bool ExportDriver::fail(const QString& reason) {
    m_error = reason;
    return false;
}

template <class T> T* ExportDriver::widget(const char* name) {
    const std::vector<ExportPluginProtocol*> plugins =
        m_host ? m_host->plugins() : std::vector<ExportPluginProtocol*>();
    QWidget* page = plugins.empty() ? nullptr : plugins.front()->settingsView();
    return page ? page->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

bool ExportDriver::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool ExportDriver::open() {
    QString error;
    std::optional<HostOptions> options = HostOptions::parse({}, &error);
    if (!options)
        return fail(error);
    options->libraryDir = m_libraryDir;
    options->select = m_photos;
    m_host = std::make_unique<HostWindow>(*options);
    if (m_host->plugins().empty())
        return fail(QStringLiteral("no plug-in loaded: ") +
                    m_host->pluginErrors().join(QStringLiteral("; ")));
    m_host->show();
    m_host->openExportDialog();
    if (!waitFor([this] { return m_host->exportDialog()->isVisible(); }, 5000))
        return fail(QStringLiteral("the Export dialog did not open"));
    waitFor([] { return false; }, 200); // one paint before anyone looks
    return true;
}

bool ExportDriver::signIn(const QString& login, const QString& password) {
    auto* loginText = widget<QLineEdit>("loginText");
    auto* passwordText = widget<QLineEdit>("passwordText");
    auto* button = widget<QPushButton>("signInButton");
    auto* tabs = widget<QStackedWidget>("mainTabView");
    if (!loginText || !passwordText || !button || !tabs)
        return fail(QStringLiteral("the page has no sign-in form"));
    loginText->setText(login);
    passwordText->setText(password);
    button->click();
    if (!waitFor([tabs] { return tabs->currentIndex() == 1; }, 20000))
        return fail(QStringLiteral("the signed-in page did not show"));
    waitFor([] { return false; }, 200);
    return true;
}

bool ExportDriver::createAlbum(const QString& title, const QString& summary,
                               const std::function<void()>& onSheet) {
    auto* link = widget<QLabel>("userCreateAlbum");
    auto* sheet = widget<QDialog>("albumProperties");
    auto* table = widget<QTableView>("albumsList");
    if (!link || !sheet || !table)
        return fail(QStringLiteral("the page has no album controls"));
    // A click on the start of the link's text, where the link listens.
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    if (!waitFor([sheet] { return sheet->isVisible(); }, 5000))
        return fail(QStringLiteral("the album sheet did not open"));
    auto* name = widget<QLineEdit>("newAlbumName");
    auto* description = widget<QLineEdit>("newAlbumDescription");
    auto* confirm = widget<QPushButton>("closeAddAlbumButton");
    if (!name || !confirm)
        return fail(QStringLiteral("the album sheet has no name field or button"));
    name->setText(title);
    if (description)
        description->setText(summary);
    waitFor([] { return false; }, 100);
    if (onSheet)
        onSheet();
    confirm->click();
    if (!waitFor([&] { return !sheet->isVisible() && selectedName(table) == title; }, 10000))
        return fail(QStringLiteral("the new album is not selected in the table"));
    waitFor([] { return false; }, 200);
    return true;
}

bool ExportDriver::selectAlbum(const QString& title) {
    auto* table = widget<QTableView>("albumsList");
    if (!table)
        return fail(QStringLiteral("the page has no album table"));
    if (!waitFor([&] { return rowNamed(table, title) >= 0; }, 10000))
        return fail(QStringLiteral("the table does not list the album ") + title);
    table->selectRow(rowNamed(table, title));
    return true;
}

bool ExportDriver::exportPhotos(int timeoutMs, const std::function<void()>& onProgress) {
    auto* sheet = widget<QDialog>("uploadWindow");
    auto* pages = widget<QStackedWidget>("uploadTab");
    if (!sheet || !pages)
        return fail(QStringLiteral("the page has no upload sheet"));
    QElapsedTimer clock;
    clock.start();
    m_host->exportDialog()->exportButton()->click();
    if (onProgress)
        onProgress();
    const bool ended = waitFor(
        [&] {
            return sheet->isVisible() &&
                   (pages->currentIndex() == resultsPage || pages->currentIndex() == failurePage);
        },
        timeoutMs);
    m_exportSeconds = double(clock.nsecsElapsed()) / 1e9;
    if (!ended)
        return fail(sheet->isVisible() ? QStringLiteral("the upload did not end in time")
                                       : QStringLiteral("the upload sheet did not open"));
    if (pages->currentIndex() == failurePage)
        return fail(QStringLiteral("the upload failed: ") +
                    widget<QLabel>("uploadResultFailureLabel")->text());
    if (!widget<QLabel>("linkToUploadedAlbum")->isVisible())
        return fail(QStringLiteral("the upload stopped: ") +
                    widget<QLabel>("uploadResultLabel")->text());
    waitFor([] { return false; }, 200);
    return true;
}

QString ExportDriver::albumLink() {
    // The module's QZLink is this build's class with its own meta-object, so qobject_cast
    // does not recognise it; the layout is the same, and url() only reads a field.
    auto* label = widget<QLabel>("linkToUploadedAlbum");
    return label ? static_cast<QZLink*>(label)->url().toString() : QString();
}

void ExportDriver::closeUploadSheet() {
    if (auto* close = widget<QPushButton>("closeUploadWindowButton"))
        close->click();
}

QString ExportDriver::screenshot(const QString& dir, const QString& name) {
    QCoreApplication::processEvents();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !QDir().mkpath(dir))
        return {};
    // The whole screen shows the sheets where they are, over the dialog.
    QPixmap shot = screen->grabWindow(0);
    if (shot.isNull())
        return {};
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    return shot.save(path, "PNG") ? path : QString();
}
