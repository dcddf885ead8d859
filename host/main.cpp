// iPhoto, the stand-in host: a photo library that loads export plug-ins.
#include "exportdialog.h"
#include "hostoptions.h"
#include "hostwindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("iPhoto"));
    QString error;
    const std::optional<HostOptions> options = HostOptions::parse(app.arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr, "iPhoto: %s\n%s\n", qPrintable(error),
                     qPrintable(HostOptions::usage()));
        return 2;
    }
    HostWindow window(*options);
    window.show();
    if (options->openExport || !options->screenshotFile.isEmpty())
        QTimer::singleShot(0, &window, [&window, &options] {
            if (options->openExport)
                window.openExportDialog();
            if (options->screenshotFile.isEmpty())
                return;
            // Let the page lay itself out and paint once before it is captured.
            QTimer::singleShot(300, &window, [&window, &options] {
                const bool saved = window.saveScreenshot(options->screenshotFile);
                if (!saved)
                    std::fprintf(stderr, "iPhoto: cannot write %s\n",
                                 qPrintable(options->screenshotFile));
                QCoreApplication::exit(saved ? 0 : 1);
            });
        });
    return app.exec();
}
