#include "exportscenario.h"

#include "sitepages.h"

#include "exportdialog.h"
#include "hostwindow.h"
#include "ovpiktoexporter.h"
#include "ovpiktoexportercommlayer.h"
#include "qzlink.h"
#include "qzutils.h"
#include "synchttp.h"

#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTableView>

namespace {

const QString login = QStringLiteral("demo");
const QString password = QStringLiteral("secret");
const QString albumTitle = QStringLiteral("Export test");

HttpResponse fetch(const QString& url) {
    HttpRequest request;
    request.url = url;
    return SyncHttp::send(request);
}

} // namespace

void ExportScenario::SetUp() {
    host = std::make_unique<HostFixture>(HostFixture::Options{
        .photoCount = 0, .startService = true, .users = {login + QLatin1Char(':') + password}});
    ASSERT_TRUE(host->setUp()) << host->lastError().toStdString();
}

bool ExportScenario::fail(const QString& reason) {
    m_error = reason;
    return false;
}

QString ExportScenario::addPhoto(const QString& name, qint64 size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(random.generate() & 0xff);
    if (size >= 4) {
        bytes[0] = char(0xff);
        bytes[1] = char(0xd8);
        bytes[size - 2] = char(0xff);
        bytes[size - 1] = char(0xd9);
    }
    const QString path = host->libraryDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size)
        return {};
    return path;
}

QString ExportScenario::addPicture(const QString& name, int hue) {
    QImage image(480, 320, QImage::Format_RGB32);
    QLinearGradient gradient(0, 0, 480, 320);
    gradient.setColorAt(0, QColor::fromHsv(hue % 360, 110, 235));
    gradient.setColorAt(1, QColor::fromHsv(hue % 360, 200, 120));
    QPainter painter(&image);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, name);
    painter.end();
    const QString path = host->libraryDir() + QLatin1Char('/') + name;
    return image.save(path, "JPEG", 85) ? path : QString();
}

QString ExportScenario::addSparseFile(const QString& name, qint64 size) {
    const QString path = host->libraryDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        return {};
    return path;
}

bool ExportScenario::openSignedIn(const QStringList& photos) {
    // The album exists before the user signs in, so the table lists it.
    m_owner = OVPiktoCredentials(login, password);
    OvPiktoExporterCommLayer client = serviceClient();
    if (client.signIntoOvranaPiktoWithCredentials(m_owner) != 0)
        return fail(QStringLiteral("the test's own sign-in failed"));
    int error = -1;
    albumId = client.createNewUserAlbumWithTitle(albumTitle, QString(), QString(), m_owner, &error);
    if (albumId.isEmpty())
        return fail(QStringLiteral("album not created: %1").arg(error));

    if (!host->createHost())
        return fail(host->lastError());
    host->host().selectPaths(photos);
    if (!host->openExport())
        return fail(host->lastError());

    auto* loginText = widget<QLineEdit>("loginText");
    auto* passwordText = widget<QLineEdit>("passwordText");
    auto* signIn = widget<QPushButton>("signInButton");
    auto* tabs = widget<QStackedWidget>("mainTabView");
    auto* albums = widget<QTableView>("albumsList");
    if (!loginText || !passwordText || !signIn || !tabs || !albums)
        return fail(QStringLiteral("the page lacks its sign-in form or album table"));
    loginText->setText(login);
    passwordText->setText(password);
    signIn->click();
    const auto albumRow = [albums] {
        QAbstractItemModel* model = albums->model();
        for (int row = 0; model && row < model->rowCount(); ++row)
            if (model->index(row, 0).data().toString() == albumTitle)
                return row;
        return -1;
    };
    // The page counts as signed in once its after-sign-in timer has run out.
    const OvPiktoExporter* exporter = controller();
    if (!HostFixture::waitFor(
            [&] {
                return tabs->currentIndex() == 1 && albumRow() >= 0 && exporter->isSignedIn &&
                       !exporter->signedInDelay;
            },
            15000))
        return fail(QStringLiteral("the signed-in page with the album did not show"));
    albums->selectRow(albumRow());
    host->clearTicks();
    return true;
}

const OvPiktoExporter* ExportScenario::controller() {
    // The module's controller is this build's class compiled from the same header: its
    // fields are where the header puts them. Only read, never called.
    return static_cast<const OvPiktoExporter*>(host->plugin());
}

void ExportScenario::pressExport() {
    host->dialog().exportButton()->click();
}

bool ExportScenario::waitForPage(int page, int timeoutMs) {
    return HostFixture::waitFor(
        [&] { return uploadSheet()->isVisible() && uploadTab()->currentIndex() == page; },
        timeoutMs);
}

QDialog* ExportScenario::uploadSheet() {
    return widget<QDialog>("uploadWindow");
}

QDialog* ExportScenario::skippedSheet() {
    return widget<QDialog>("skippedImagesWindow");
}

QStackedWidget* ExportScenario::uploadTab() {
    return widget<QStackedWidget>("uploadTab");
}

QString ExportScenario::labelText(const char* name) {
    QLabel* label = widget<QLabel>(name);
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

QPushButton* ExportScenario::button(const char* name) {
    return widget<QPushButton>(name);
}

QProgressBar* ExportScenario::progressIndicator() {
    return widget<QProgressBar>("uploadProgressIndicator");
}

QString ExportScenario::bundleText(const char* key) {
    return QZUtils::infoValueForKey(QString::fromLatin1(key));
}

QString ExportScenario::albumLinkAddress() {
    // The module's QZLink is this build's class with its own meta-object, so qobject_cast
    // does not recognise it; the layout is the same, and url() only reads a field.
    QLabel* label = widget<QLabel>("linkToUploadedAlbum");
    return label ? static_cast<QZLink*>(label)->url().toString() : QString();
}

OvPiktoExporterCommLayer ExportScenario::serviceClient() const {
    return OvPiktoExporterCommLayer(ServiceUrls(host->service()->origin()));
}

QString ExportScenario::albumPage() const {
    return QStringLiteral("%1/users/%2/album/%3/").arg(host->service()->origin(), login, albumId);
}

QMap<QString, QByteArray> ExportScenario::albumPhotos() {
    QMap<QString, QByteArray> photos;
    const HttpResponse page = fetch(albumPage());
    if (page.status != 200)
        return photos;
    const QString origin = host->service()->origin();
    for (const SitePages::Photo& photo : SitePages::albumPhotos(QString::fromUtf8(page.data))) {
        const HttpResponse photoPage = fetch(origin + photo.page);
        const QString original = SitePages::originalAddress(QString::fromUtf8(photoPage.data));
        const HttpResponse bytes = original.isEmpty() ? HttpResponse() : fetch(origin + original);
        // A name listed twice is kept twice apart, so a photo sent twice shows.
        QString name = photo.name;
        while (photos.contains(name))
            name += QLatin1Char('+');
        photos.insert(name, bytes.status == 200 ? bytes.data : QByteArray());
    }
    return photos;
}

int ExportScenario::uploadRequests() {
    return int(host->service()
                   ->requests()
                   .filter(QRegularExpression(QStringLiteral("^POST /post/")))
                   .size());
}

bool ExportScenario::deleteAlbum() {
    int error = -1;
    serviceClient().deleteUserAlbumByID(albumId, m_owner, &error);
    return error == 0;
}
