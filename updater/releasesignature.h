#pragma once

#include <QByteArray>
#include <QString>

// Ed25519 detached signatures of release archives (libsodium). Keys and signatures
// travel as Base64 text: a public key is 32 bytes, a secret key 64, a signature 64.
class ReleaseSignature {
public:
    struct KeyPair {
        QByteArray publicKey;
        QByteArray secretKey;
    };

    // A new key pair from the system's random source; empty keys when the library
    // cannot start.
    static KeyPair generate();
    // The signature of `size` bytes at `data` under `secretKey`; empty when the key
    // has the wrong length or the library cannot start.
    static QByteArray sign(const QByteArray& secretKey, const uchar* data, qint64 size);
    // Whether `signature` is a valid signature of the bytes under `publicKey`. False
    // for keys or signatures of the wrong length.
    static bool verify(const QByteArray& publicKey, const uchar* data, qint64 size,
                       const QByteArray& signature);
    // The signature of a whole file, read through a memory map; empty on failure.
    static QByteArray signFile(const QByteArray& secretKey, const QString& path);
    // verify() over a whole file; false when the file cannot be read.
    static bool verifyFile(const QByteArray& publicKey, const QString& path,
                           const QByteArray& signature);

    // Strict Base64: nothing (an empty array) unless `text` is entirely valid Base64.
    static QByteArray fromBase64(const QString& text);
};
