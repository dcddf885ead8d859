#include "hostfixture.h"

#include "exportdialog.h"
#include "hostwindow.h"
#include "tickwait.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QTabWidget>
#include <QTimer>

namespace {
constexpr int kInstallTimeoutMs = 30000;
}

HostFixture::HostFixture() : HostFixture(Options{}) {}

HostFixture::HostFixture(Options options) : m_options(std::move(options)) {}

HostFixture::~HostFixture() {
    m_host.reset();
    if (m_tickHookInstalled)
        TickWait::setHook({});
    m_service.reset();
    for (const auto& [name, value] : m_savedEnv) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

QString HostFixture::installScript() {
    return QStringLiteral(OVPIKTO_SOURCE_DIR "/scripts/install-bundles");
}

QString HostFixture::buildDir() {
    return QStringLiteral(OVPIKTO_BUILD_DIR);
}

bool HostFixture::fail(const QString& reason) {
    m_error = reason;
    return false;
}

void HostFixture::setEnv(const char* name, const QByteArray& value) {
    const QByteArray key(name);
    if (!m_savedEnv.count(key))
        m_savedEnv[key] =
            qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    qputenv(name, value);
}

QString HostFixture::root() const {
    return m_temp ? m_temp->filePath(QStringLiteral("root")) : QString();
}

QString HostFixture::home() const {
    return m_temp ? m_temp->filePath(QStringLiteral("home")) : QString();
}

QString HostFixture::libraryDir() const {
    return home() + QStringLiteral("/Pictures");
}

bool HostFixture::setUp() {
    m_temp = std::make_unique<QTemporaryDir>();
    if (!m_temp->isValid())
        return fail(QStringLiteral("no temporary folder: ") + m_temp->errorString());
    const QString tmp = m_temp->filePath(QStringLiteral("tmp"));
    for (const QString& dir : {root(), libraryDir(), tmp})
        if (!QDir().mkpath(dir))
            return fail(QStringLiteral("cannot create ") + dir);
    setEnv("OVPIKTO_ROOT", root().toUtf8());
    setEnv("HOME", home().toUtf8());
    setEnv("TMPDIR", (tmp + QLatin1Char('/')).toUtf8());
    setEnv("OVPIKTO_LANG", m_options.language.toUtf8());
    setEnv("OVPIKTO_MAIN_BUNDLE", (root() + QStringLiteral("/Applications/iPhoto.app")).toUtf8());
    if (!writePhotos() || !install())
        return false;
    if (m_options.startService) {
        m_service =
            std::make_unique<ServiceProcess>(ServiceProcess::Options{m_options.users, {}, {}});
        if (!m_service->start())
            return fail(QStringLiteral("pikto-service: ") + m_service->lastError());
        setEnv("OVPIKTO_SERVICE_URL", m_service->origin().toUtf8());
    }
    TickWait::setHook([this](unsigned ticks) { m_ticks.append(ticks); });
    m_tickHookInstalled = true;
    return true;
}

bool HostFixture::writePhotos() {
    for (int i = 0; i < m_options.photoCount; ++i) {
        QImage image(640, 480, QImage::Format_RGB32);
        const QColor base = QColor::fromHsv((i * 47) % 360, 120, 220);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 640, 480);
        gradient.setColorAt(0, base);
        gradient.setColorAt(1, base.darker(180));
        painter.fillRect(image.rect(), gradient);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setPixelSize(96);
        painter.setFont(font);
        painter.drawText(image.rect(), Qt::AlignCenter, QString::number(i + 1));
        painter.end();
        const QString path =
            libraryDir() + QStringLiteral("/photo-%1.jpg").arg(i + 1, 3, 10, QLatin1Char('0'));
        if (!image.save(path, "JPEG", 85))
            return fail(QStringLiteral("cannot write ") + path);
        m_photos << path;
    }
    return true;
}

bool HostFixture::install() {
    QProcess process;
    QStringList arguments{installScript(),
                          root(),
                          QStringLiteral("--host-version"),
                          m_options.hostVersion,
                          QStringLiteral("--build"),
                          buildDir()};
    if (!m_options.installPlugin)
        arguments << QStringLiteral("--no-plugin");
    process.start(QStringLiteral("/bin/sh"), arguments);
    if (!process.waitForFinished(kInstallTimeoutMs) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return fail(QStringLiteral("install-bundles failed: ") +
                    QString::fromLocal8Bit(process.readAllStandardError()));
    m_pluginPath = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return true;
}

bool HostFixture::createHost() {
    if (m_host)
        return true;
    if (!m_temp)
        return fail(QStringLiteral("setUp was not called"));
    QString error;
    const QStringList none;
    std::optional<HostOptions> options = HostOptions::parse(none, &error);
    if (!options)
        return fail(error);
    options->libraryDir = libraryDir();
    const int selected = m_options.selectCount < 0 ? int(m_photos.size()) : m_options.selectCount;
    options->select = m_photos.mid(0, selected);
    m_host = std::make_unique<HostWindow>(*options);
    m_host->show();
    processEvents();
    return true;
}

bool HostFixture::openExport() {
    if (!createHost())
        return false;
    m_host->openExportDialog();
    if (!waitFor([this] {
            QWidget* shown = page();
            return m_host->exportDialog()->isVisible() && shown && shown->isVisible();
        }))
        return fail(QStringLiteral("the plug-in's page did not show; plug-in errors: ") +
                    m_host->pluginErrors().join(QStringLiteral("; ")));
    return true;
}

void HostFixture::closeHost() {
    m_host.reset();
    processEvents();
}

ExportDialog& HostFixture::dialog() {
    return *m_host->exportDialog();
}

ExportPluginProtocol* HostFixture::plugin() {
    if (!m_host)
        return nullptr;
    const auto plugins = m_host->plugins();
    return plugins.empty() ? nullptr : plugins.front();
}

QWidget* HostFixture::page() {
    ExportPluginProtocol* first = plugin();
    return first ? first->settingsView() : nullptr;
}

QMessageBox* HostFixture::alert() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
            return box;
    }
    // A window-modal alert is a child window of the window it is attached to.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (QMessageBox* box : window->findChildren<QMessageBox*>())
            if (box->isVisible())
                return box;
    }
    return nullptr;
}

QMessageBox* HostFixture::waitForAlert(int timeoutMs) {
    waitFor([] { return alert() != nullptr; }, timeoutMs);
    return alert();
}

QString HostFixture::screenshot(const QString& name) {
    if (!m_host)
        return {};
    processEvents();
    const QString folder = QStringLiteral(OVPIKTO_SCREENSHOTS);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    return QDir().mkpath(folder) && m_host->saveScreenshot(path) ? path : QString();
}

QString HostFixture::screenshot(QWidget& window, const QString& name) {
    processEvents();
    const QString folder = QStringLiteral(OVPIKTO_SCREENSHOTS);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    return QDir().mkpath(folder) && window.grab().save(path, "PNG") ? path : QString();
}

namespace {
// One turn of the event loop, woken at the latest after a few milliseconds.
void turnEventLoop() {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

bool HostFixture::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        turnEventLoop();
    }
    return true;
}

void HostFixture::processEvents(int ms) {
    QDeadlineTimer deadline(ms);
    do {
        QCoreApplication::processEvents();
        turnEventLoop();
    } while (!deadline.hasExpired());
}
