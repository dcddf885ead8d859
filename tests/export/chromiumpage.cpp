#include "chromiumpage.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

QString ChromiumPage::executable() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool ChromiumPage::run(const QStringList& args, QByteArray* output) {
    const QString program = executable();
    QTemporaryDir profile;
    if (program.isEmpty() || !profile.isValid())
        return false;
    QStringList all = {
        QStringLiteral("--headless"),
        QStringLiteral("--no-sandbox"),
        QStringLiteral("--disable-gpu"),
        QStringLiteral("--disable-quic"),
        QStringLiteral("--no-first-run"),
        QStringLiteral("--disable-background-networking"),
        QStringLiteral("--disable-component-update"),
        QStringLiteral("--disable-sync"),
        QStringLiteral("--user-data-dir=%1").arg(profile.path()),
    };
    all += args;
    QProcess chromium;
    chromium.setProgram(program);
    chromium.setArguments(all);
    chromium.setStandardErrorFile(QProcess::nullDevice());
    chromium.start();
    if (!chromium.waitForStarted(10000))
        return false;
    if (!chromium.waitForFinished(60000)) {
        chromium.kill();
        chromium.waitForFinished(5000);
        return false;
    }
    if (output)
        *output = chromium.readAllStandardOutput();
    return chromium.exitStatus() == QProcess::NormalExit && chromium.exitCode() == 0;
}

QByteArray ChromiumPage::dumpDom(const QString& url) {
    QByteArray dom;
    if (!run({QStringLiteral("--dump-dom"), url}, &dom))
        return {};
    return dom;
}

bool ChromiumPage::screenshot(const QString& url, const QString& pngPath, int width, int height) {
    QFile::remove(pngPath);
    if (!run({QStringLiteral("--screenshot=%1").arg(pngPath),
              QStringLiteral("--window-size=%1,%2").arg(width).arg(height),
              QStringLiteral("--hide-scrollbars"), url},
             nullptr))
        return false;
    return QFileInfo(pngPath).size() > 0;
}
