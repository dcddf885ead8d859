// pikto-export-driver: the host with the plug-in, driven in this process as a person
// drives it. Host and plug-in must be installed under OVPIKTO_ROOT (scripts/install-bundles)
// and OVPIKTO_SERVICE_URL must name a running pikto-service.
//   walkthrough: signs in, creates an album, exports the photos, shows the results page;
//                saves a screenshot of each step and prints the paths and the album page.
//   bench:       signs in, selects an album, exports the photos and prints the seconds
//                from pressing Export to the results page.
#include "exportdriver.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

namespace {

int failed(const ExportDriver& driver) {
    std::fprintf(stderr, "pikto-export-driver: %s\n", qPrintable(driver.error()));
    return 1;
}

void printShot(const QString& path, const char* step) {
    if (path.isEmpty())
        std::printf("screenshot of %s could not be saved\n", step);
    else
        std::printf("screenshot %-26s %s\n", step, qPrintable(path));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("pikto-export-driver"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Drives an export through the host."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("mode"), QStringLiteral("walkthrough or bench"));
    parser.addPositionalArgument(QStringLiteral("photos"), QStringLiteral("photos to select"),
                                 QStringLiteral("PHOTO..."));
    const QCommandLineOption library(QStringLiteral("library"), QStringLiteral("library folder"),
                                     QStringLiteral("DIR"));
    const QCommandLineOption login(QStringLiteral("login"), QStringLiteral("account"),
                                   QStringLiteral("LOGIN"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("password"),
                                      QStringLiteral("PASSWORD"));
    const QCommandLineOption album(QStringLiteral("album"), QStringLiteral("album title"),
                                   QStringLiteral("TITLE"));
    const QCommandLineOption shots(QStringLiteral("shots"), QStringLiteral("screenshot folder"),
                                   QStringLiteral("DIR"));
    parser.addOptions({library, login, password, album, shots});
    parser.process(app);
    const QStringList positional = parser.positionalArguments();
    const QString mode = positional.value(0);
    if ((mode != QLatin1String("walkthrough") && mode != QLatin1String("bench")) ||
        positional.size() < 2 || !parser.isSet(library) || !parser.isSet(login) ||
        !parser.isSet(password) || !parser.isSet(album)) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }

    ExportDriver driver(parser.value(library), positional.mid(1));
    const int timeoutMs = 600000;
    if (mode == QLatin1String("bench")) {
        if (!driver.open() || !driver.signIn(parser.value(login), parser.value(password)) ||
            !driver.selectAlbum(parser.value(album)) || !driver.exportPhotos(timeoutMs))
            return failed(driver);
        std::printf("export seconds: %.3f\n", driver.lastExportSeconds());
        return 0;
    }

    const QString dir = parser.value(shots);
    if (!driver.open())
        return failed(driver);
    printShot(ExportDriver::screenshot(dir, QStringLiteral("1-export-dialog")), "1 Export dialog");
    if (!driver.signIn(parser.value(login), parser.value(password)))
        return failed(driver);
    printShot(ExportDriver::screenshot(dir, QStringLiteral("2-signed-in")), "2 signed in");
    if (!driver.createAlbum(parser.value(album), QStringLiteral("Sent from iPhoto"), [&] {
            printShot(ExportDriver::screenshot(dir, QStringLiteral("3-album-sheet")),
                      "3 new album");
        }))
        return failed(driver);
    printShot(ExportDriver::screenshot(dir, QStringLiteral("4-album-created")), "4 album created");
    if (!driver.exportPhotos(timeoutMs, [&] {
            printShot(ExportDriver::screenshot(dir, QStringLiteral("5-uploading")), "5 uploading");
        }))
        return failed(driver);
    printShot(ExportDriver::screenshot(dir, QStringLiteral("6-results")), "6 results");
    std::printf("album page: %s\n", qPrintable(driver.albumLink()));
    driver.closeUploadSheet();
    return 0;
}
