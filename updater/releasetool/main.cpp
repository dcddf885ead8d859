// pikto-release: makes the release signing keys and publishes signed archives in a
// versions feed. The secret key never leaves the key folder given on the command line.
#include "releasefeed.h"
#include "releasesignature.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

const QString secretName = QStringLiteral("/release.key");
const QString publicName = QStringLiteral("/release.pub");

int usage() {
    std::fputs(
        "usage: pikto-release keygen KEYDIR\n"
        "       pikto-release public-key KEYDIR\n"
        "       pikto-release publish KEYDIR FEED URL VERSION ARCHIVE [TITLE [DESCRIPTION]]\n",
        stderr);
    return 2;
}

void print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputs("\n", stdout);
}

bool writeKey(const QString& path, const QByteArray& key, QFileDevice::Permissions permissions) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = key.toBase64() + '\n';
    return file.write(text) == text.size() && file.commit() &&
           QFile::setPermissions(path, permissions);
}

QByteArray readKey(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ReleaseSignature::fromBase64(QString::fromLatin1(file.readAll()));
}

int keygen(const QString& folder) {
    if (QFile::exists(folder + secretName)) {
        std::fprintf(stderr, "pikto-release: %s already holds a key\n", qPrintable(folder));
        return 1;
    }
    if (!QDir().mkpath(folder) ||
        !QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner)) {
        std::fprintf(stderr, "pikto-release: cannot create %s\n", qPrintable(folder));
        return 1;
    }
    const ReleaseSignature::KeyPair pair = ReleaseSignature::generate();
    if (pair.secretKey.isEmpty() ||
        !writeKey(folder + secretName, pair.secretKey,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        !writeKey(folder + publicName, pair.publicKey,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                      QFileDevice::ReadOther)) {
        std::fprintf(stderr, "pikto-release: cannot write the keys to %s\n", qPrintable(folder));
        return 1;
    }
    print(QString::fromLatin1(pair.publicKey.toBase64()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("keygen"))
        return keygen(args[1]);
    if (args.size() == 2 && args[0] == QLatin1String("public-key")) {
        const QByteArray key = readKey(args[1] + publicName);
        if (key.size() != 32) {
            std::fprintf(stderr, "pikto-release: no public key in %s\n", qPrintable(args[1]));
            return 1;
        }
        print(QString::fromLatin1(key.toBase64()));
        return 0;
    }
    if (args.size() >= 6 && args.size() <= 8 && args[0] == QLatin1String("publish")) {
        const QByteArray secret = readKey(args[1] + secretName);
        if (secret.size() != 64) {
            std::fprintf(stderr, "pikto-release: no secret key in %s\n", qPrintable(args[1]));
            return 1;
        }
        ReleaseFeed::Release release{args[4], args[3], args[5], args.value(6), args.value(7)};
        const QString error = ReleaseFeed::publish(args[2], release, secret);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "pikto-release: %s\n", qPrintable(error));
            return 1;
        }
        print(
            QStringLiteral("published %1 as %2 in %3").arg(release.version, release.url, args[2]));
        return 0;
    }
    return usage();
}
