#include "servedrelease.h"

#include <QDir>
#include <QProcess>

namespace {

const QString sourceDir = QStringLiteral(OVPIKTO_SOURCE_DIR);
const QString buildDir = QStringLiteral(OVPIKTO_BUILD_DIR);

} // namespace

ServedRelease::ServedRelease()
    : m_service(ServiceProcess::Options{{}, {}, m_work.filePath(QStringLiteral("releases"))}) {}

ServedRelease::~ServedRelease() = default;

bool ServedRelease::publish(const QString& hostRoot, const QString& version) {
    if (!m_work.isValid())
        return fail(QStringLiteral("temporary folder"), m_work.errorString());
    const QString releases = m_work.filePath(QStringLiteral("releases"));
    const QString keys = m_work.filePath(QStringLiteral("keys"));
    if (!QDir().mkpath(releases))
        return fail(QStringLiteral("mkpath"), releases);
    if (!m_service.start())
        return fail(QStringLiteral("pikto-service"), m_service.lastError());

    // The updater finds its own bundle from where it runs, not the host's.
    m_environment.remove(QStringLiteral("OVPIKTO_MAIN_BUNDLE"));
    m_environment.insert(QStringLiteral("OVPIKTO_SERVICE_URL"), m_service.origin());
    QString output;
    if (run(buildDir + QStringLiteral("/bin/pikto-release"), {QStringLiteral("keygen"), keys},
            &output) != 0)
        return fail(QStringLiteral("pikto-release keygen"), output);
    m_publicKey = output.trimmed();
    if (run(sourceDir + QStringLiteral("/scripts/install-updater"),
            {hostRoot, QStringLiteral("--build"), buildDir, QStringLiteral("--public-key"),
             m_publicKey},
            &output) != 0)
        return fail(QStringLiteral("install-updater"), output);
    if (run(sourceDir + QStringLiteral("/scripts/make-release"),
            {version, QStringLiteral("--no-build"), QStringLiteral("--build"), buildDir,
             QStringLiteral("--out"), releases, QStringLiteral("--keys"), keys,
             QStringLiteral("--origin"), m_service.origin()},
            &output) != 0)
        return fail(QStringLiteral("make-release"), output);
    return true;
}

int ServedRelease::run(const QString& program, const QStringList& arguments,
                       QString* output) const {
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(60000);
    *output = QString::fromUtf8(process.readAll());
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool ServedRelease::fail(const QString& step, const QString& output) {
    m_error = step + QStringLiteral(" failed: ") + output;
    return false;
}
