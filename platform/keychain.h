#pragma once

#include <QString>

#include <optional>

// Generic passwords of the user's default keychain: items of the Secret Service's default
// collection told apart by the attributes "service" and "account". Every failure (no session
// bus, no Secret Service, a locked collection, a refused call) counts as "not found" and is
// logged as one line that names the operation, the service and the account, never the
// password. A Secret Service that is not running is therefore an empty keychain.
class Keychain {
public:
    // The password stored for this service and account; nothing when there is no such item
    // or the keychain cannot be read.
    static std::optional<QString> findGenericPassword(const QString& service,
                                                      const QString& account);

    // Stores the password for this service and account, replacing the password of an item
    // that exists already. Returns false (and logs why) when the keychain refuses it.
    static bool storeGenericPassword(const QString& service, const QString& account,
                                     const QString& password);

    // Deletes the item of this service and account. Returns true when an item was deleted;
    // false when there was none or the keychain could not be reached.
    static bool deleteGenericPassword(const QString& service, const QString& account);
};
