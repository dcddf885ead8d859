#include "archivecheck.h"

#include "releasesignature.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {

quint32 le16(const QByteArray& b, qsizetype at) {
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8;
}

quint32 le32(const QByteArray& b, qsizetype at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}

constexpr quint32 endOfDirectorySignature = 0x06054b50;
constexpr quint32 directoryEntrySignature = 0x02014b50;
constexpr qsizetype endOfDirectorySize = 22;
constexpr qsizetype directoryEntrySize = 46;
constexpr quint32 unixHost = 3;
constexpr quint32 fileTypeMask = 0170000;
constexpr quint32 symbolicLinkType = 0120000;

QString nameRefusal(const QByteArray& name) {
    if (name.isEmpty() || name.contains('\0'))
        return QStringLiteral("an entry has no usable name");
    if (name.startsWith('/') || name.contains('\\'))
        return QStringLiteral("the entry \"%1\" would land outside the work folder")
            .arg(QString::fromUtf8(name));
    for (const QByteArray& part : name.split('/')) {
        if (part == "..")
            return QStringLiteral("the entry \"%1\" would land outside the work folder")
                .arg(QString::fromUtf8(name));
    }
    return {};
}

} // namespace

QString ArchiveCheck::checkEntries(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the archive cannot be read");
    const qint64 size = file.size();
    if (size < endOfDirectorySize)
        return QStringLiteral("the archive is not a zip archive");
    // The end record sits in the last 22 bytes plus at most a 65535-byte comment.
    const qint64 tailSize = qMin<qint64>(size, endOfDirectorySize + 0xffff);
    if (!file.seek(size - tailSize))
        return QStringLiteral("the archive cannot be read");
    const QByteArray tail = file.read(tailSize);
    if (tail.size() != tailSize)
        return QStringLiteral("the archive cannot be read");
    qsizetype end = -1;
    for (qsizetype at = tail.size() - endOfDirectorySize; at >= 0; --at) {
        if (le32(tail, at) == endOfDirectorySignature &&
            at + endOfDirectorySize + qsizetype(le16(tail, at + 20)) == tail.size()) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return QStringLiteral("the archive is not a zip archive");
    const quint32 count = le16(tail, end + 10);
    const quint32 directorySize = le32(tail, end + 12);
    const quint32 directoryOffset = le32(tail, end + 16);
    if (count == 0xffff || directoryOffset == 0xffffffff || directorySize == 0xffffffff)
        return QStringLiteral("the archive uses a format this updater does not read");
    if (qint64(directoryOffset) + qint64(directorySize) > size)
        return QStringLiteral("the archive is damaged");
    if (!file.seek(directoryOffset))
        return QStringLiteral("the archive cannot be read");
    const QByteArray directory = file.read(directorySize);
    if (directory.size() != qsizetype(directorySize))
        return QStringLiteral("the archive cannot be read");

    qsizetype at = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (at + directoryEntrySize > directory.size() ||
            le32(directory, at) != directoryEntrySignature)
            return QStringLiteral("the archive is damaged");
        const quint32 madeBy = le16(directory, at + 4) >> 8;
        const qsizetype nameLength = le16(directory, at + 28);
        const qsizetype extraLength = le16(directory, at + 30);
        const qsizetype commentLength = le16(directory, at + 32);
        const quint32 external = le32(directory, at + 38);
        if (at + directoryEntrySize + nameLength > directory.size())
            return QStringLiteral("the archive is damaged");
        const QByteArray name = directory.mid(at + directoryEntrySize, nameLength);
        if (const QString refusal = nameRefusal(name); !refusal.isEmpty())
            return refusal;
        // A link could point anywhere, and a later entry could be written through it.
        if (madeBy == unixHost && ((external >> 16) & fileTypeMask) == symbolicLinkType)
            return QStringLiteral("the entry \"%1\" is a symbolic link")
                .arg(QString::fromUtf8(name));
        at += directoryEntrySize + nameLength + extraLength + commentLength;
    }
    return {};
}

QString ArchiveCheck::verify(const QString& path, const FeedEnclosure& enclosure,
                             const QString& publicKey) {
    const QFileInfo archive(path);
    if (!archive.isFile())
        return QStringLiteral("the downloaded archive is missing");

    if (!enclosure.length.isNull()) {
        bool ok = false;
        const qint64 expected = enclosure.length.trimmed().toLongLong(&ok);
        if (!ok || expected < 0)
            return QStringLiteral("the feed's length \"%1\" is not a number").arg(enclosure.length);
        if (archive.size() != expected)
            return QStringLiteral("the archive has %1 bytes, the feed announces %2")
                .arg(archive.size())
                .arg(expected);
    }

    if (!enclosure.sha256.isNull()) {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
            return QStringLiteral("the downloaded archive cannot be read");
        const QByteArray actual = hash.result().toHex();
        if (actual != enclosure.sha256.trimmed().toLower().toLatin1())
            return QStringLiteral("the archive's SHA-256 %1 differs from the feed's %2")
                .arg(QString::fromLatin1(actual), enclosure.sha256);
    }

    if (!publicKey.trimmed().isEmpty()) {
        const QByteArray key = ReleaseSignature::fromBase64(publicKey);
        if (key.size() != 32)
            return QStringLiteral("the updater's public key is not a valid Ed25519 key");
        if (enclosure.signature.isNull())
            return QStringLiteral("the release is not signed");
        const QByteArray signature = ReleaseSignature::fromBase64(enclosure.signature);
        if (!ReleaseSignature::verifyFile(key, path, signature))
            return QStringLiteral("the archive's signature is not valid");
    }
    return {};
}
