// libsecret's GLib headers use names that Qt defines as macros: include them first.
#include <libsecret/secret.h>

#include "keychain.h"

#include "log.h"

namespace {

// Items are matched on service and account only, so items written by other generic-password
// tools (secret-tool) are found too.
const SecretSchema* genericSchema() {
    static const SecretSchema schema = {
        "org.freedesktop.Secret.Generic",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &schema;
}

// Logs one failed call and releases its error. The message of a GError names the D-Bus
// failure, never an argument's value.
void logFailure(const char* operation, const QString& service, const QString& account,
                GError* error) {
    const QString reason = error && error->message ? QString::fromUtf8(error->message)
                                                   : QStringLiteral("unknown error");
    Log::write(QStringLiteral("Keychain: %1 failed for service \"%2\", account \"%3\": %4")
                   .arg(QString::fromLatin1(operation), service, account, reason));
    if (error)
        g_error_free(error);
}

} // namespace

std::optional<QString> Keychain::findGenericPassword(const QString& service,
                                                     const QString& account) {
    const QByteArray serviceBytes = service.toUtf8();
    const QByteArray accountBytes = account.toUtf8();
    GError* error = nullptr;
    gchar* password = secret_password_lookup_sync(
        genericSchema(), nullptr, &error, "service", serviceBytes.constData(), "account",
        accountBytes.constData(), static_cast<char*>(nullptr));
    if (error) {
        if (password)
            secret_password_free(password);
        logFailure("find", service, account, error);
        return std::nullopt;
    }
    if (!password)
        return std::nullopt;
    QString result = QString::fromUtf8(password);
    secret_password_free(password);
    return result;
}

bool Keychain::storeGenericPassword(const QString& service, const QString& account,
                                    const QString& password) {
    const QByteArray serviceBytes = service.toUtf8();
    const QByteArray accountBytes = account.toUtf8();
    const QByteArray label = (service + QStringLiteral(": ") + account).toUtf8();
    QByteArray secret = password.toUtf8();
    GError* error = nullptr;
    // An item with the same attributes in the default collection gets the new password.
    const gboolean stored = secret_password_store_sync(
        genericSchema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(), nullptr,
        &error, "service", serviceBytes.constData(), "account", accountBytes.constData(),
        static_cast<char*>(nullptr));
    secret.fill('\0');
    if (!stored || error) {
        logFailure("store", service, account, error);
        return false;
    }
    return true;
}

bool Keychain::deleteGenericPassword(const QString& service, const QString& account) {
    const QByteArray serviceBytes = service.toUtf8();
    const QByteArray accountBytes = account.toUtf8();
    GError* error = nullptr;
    const gboolean deleted = secret_password_clear_sync(
        genericSchema(), nullptr, &error, "service", serviceBytes.constData(), "account",
        accountBytes.constData(), static_cast<char*>(nullptr));
    if (error) {
        logFailure("delete", service, account, error);
        return false;
    }
    return deleted;
}
