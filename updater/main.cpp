// The updater application: its window, or --check / --install for scripts.
#include "log.h"
#include "maincontroller.h"
#include "serviceurls.h"
#include "tlstrust.h"
#include "unattendedrun.h"
#include "updaterwindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

struct Options {
    bool check = false;
    bool install = false;
    int waitSeconds = 300;
    bool valid = true;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--check") == 0) {
            options.check = true;
        } else if (std::strcmp(arg, "--install") == 0) {
            options.install = true;
        } else if (std::strcmp(arg, "--wait") == 0 && i + 1 < argc) {
            bool ok = false;
            options.waitSeconds = QByteArray(argv[++i]).toInt(&ok);
            options.valid = options.valid && ok && options.waitSeconds >= 0;
        } else if (std::strncmp(arg, "-psn", 4) == 0) {
            // A process serial number some launchers add: not ours to read.
        } else {
            options.valid = false;
        }
    }
    if (options.check && options.install)
        options.valid = false;
    return options;
}

// Trusts OVPIKTO_CA_FILE's authorities as pikto does; false (said on standard error and
// in the log) when the file cannot be used, and then nothing is requested.
bool readTrust() {
    QString error;
    if (TlsTrust::useAuthoritiesFromEnvironment(&error))
        return true;
    Log::write(QStringLiteral("main: %1").arg(error));
    std::fprintf(stderr, "OvPiktoUpdater: %s\n", qPrintable(error));
    return false;
}

int runUnattended(int argc, char** argv, const Options& options) {
    QCoreApplication app(argc, argv);
    if (!readTrust())
        return 2;
    QTextStream out(stdout);
    MainController controller(ServiceUrls::fromEnvironment());
    UnattendedRun run(controller,
                      options.check ? UnattendedRun::Mode::Check : UnattendedRun::Mode::Install,
                      options.waitSeconds, out);
    QObject::connect(&run, &UnattendedRun::finished, &app, [&app](int code) { app.exit(code); });
    controller.setTerminate([] {});
    run.start();
    if (run.isFinished())
        return run.exitCode();
    return app.exec();
}

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    if (!readTrust())
        return 2;
    MainController controller(ServiceUrls::fromEnvironment());
    UpdaterWindow window(controller);
    controller.awakeFromNib();
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    if (!options.valid) {
        std::fprintf(stderr, "usage: %s [--check | --install [--wait SECONDS]]\n", argv[0]);
        return 2;
    }
    try {
        if (options.check || options.install)
            return runUnattended(argc, argv, options);
        return runWindow(argc, argv);
    } catch (const std::exception& e) {
        Log::write(QStringLiteral("main: Caught %1: %2")
                       .arg(QStringLiteral("std::exception"), QString::fromLocal8Bit(e.what())));
        return 2;
    }
}
