#include "tlstrust.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

bool TlsTrust::useAuthoritiesFrom(const QString& pemFile, QString* error) {
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(pemFile, file.errorString());
        return false;
    }
    const QList<QSslCertificate> authorities = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (authorities.isEmpty()) {
        *error = QStringLiteral("%1 holds no PEM certificate").arg(pemFile);
        return false;
    }
    if (!QSslSocket::supportsSsl()) {
        *error = QStringLiteral("this Qt has no TLS backend");
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(authorities);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return true;
}

bool TlsTrust::useAuthoritiesFromEnvironment(QString* error) {
    const QString file = qEnvironmentVariable("OVPIKTO_CA_FILE");
    if (file.isEmpty())
        return true;
    if (!useAuthoritiesFrom(file, error)) {
        *error = QStringLiteral("OVPIKTO_CA_FILE: %1").arg(*error);
        return false;
    }
    return true;
}
