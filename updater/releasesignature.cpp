#include "releasesignature.h"

#include <QFile>

#include <sodium.h>

#include <functional>

namespace {

bool started() {
    static const bool ok = sodium_init() >= 0;
    return ok;
}

// Calls `use` with the file's bytes; an empty file is handed over as zero bytes.
bool withFileBytes(const QString& path, const std::function<void(const uchar*, qint64)>& use) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size == 0) {
        static const uchar nothing = 0;
        use(&nothing, 0);
        return true;
    }
    uchar* bytes = file.map(0, size);
    if (!bytes)
        return false;
    use(bytes, size);
    file.unmap(bytes);
    return true;
}

} // namespace

ReleaseSignature::KeyPair ReleaseSignature::generate() {
    if (!started())
        return {};
    KeyPair pair;
    pair.publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    pair.secretKey.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_keypair(reinterpret_cast<uchar*>(pair.publicKey.data()),
                        reinterpret_cast<uchar*>(pair.secretKey.data()));
    return pair;
}

QByteArray ReleaseSignature::sign(const QByteArray& secretKey, const uchar* data, qint64 size) {
    if (!started() || secretKey.size() != crypto_sign_SECRETKEYBYTES || size < 0)
        return {};
    QByteArray signature(crypto_sign_BYTES, '\0');
    if (crypto_sign_detached(reinterpret_cast<uchar*>(signature.data()), nullptr, data,
                             static_cast<unsigned long long>(size),
                             reinterpret_cast<const uchar*>(secretKey.constData())) != 0)
        return {};
    return signature;
}

bool ReleaseSignature::verify(const QByteArray& publicKey, const uchar* data, qint64 size,
                              const QByteArray& signature) {
    if (!started() || publicKey.size() != crypto_sign_PUBLICKEYBYTES ||
        signature.size() != crypto_sign_BYTES || size < 0)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const uchar*>(signature.constData()), data,
                                       static_cast<unsigned long long>(size),
                                       reinterpret_cast<const uchar*>(publicKey.constData())) == 0;
}

QByteArray ReleaseSignature::signFile(const QByteArray& secretKey, const QString& path) {
    QByteArray signature;
    withFileBytes(path,
                  [&](const uchar* data, qint64 size) { signature = sign(secretKey, data, size); });
    return signature;
}

bool ReleaseSignature::verifyFile(const QByteArray& publicKey, const QString& path,
                                  const QByteArray& signature) {
    bool valid = false;
    if (!withFileBytes(path, [&](const uchar* data, qint64 size) {
            valid = verify(publicKey, data, size, signature);
        }))
        return false;
    return valid;
}

QByteArray ReleaseSignature::fromBase64(const QString& text) {
    const auto result = QByteArray::fromBase64Encoding(text.trimmed().toLatin1(),
                                                       QByteArray::Base64Encoding |
                                                           QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return {};
    return *result;
}
