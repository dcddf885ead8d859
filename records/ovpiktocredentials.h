#pragma once

#include <QString>

// The signed-in user: login, password in clear (used only to build the encrypted
// sign-in request) and the token the service issued. A null string stands for nil.
class OVPiktoCredentials {
public:
    OVPiktoCredentials() = default;
    // Keeps both; the token stays nil.
    OVPiktoCredentials(const QString& login, const QString& password)
        : m_login(login), m_password(password) {}
    // An independent copy of another record, token included (uploads get one each).
    static OVPiktoCredentials initWithCredentials(const OVPiktoCredentials& other) { return other; }

    const QString& login() const { return m_login; }
    const QString& password() const { return m_password; }
    const QString& token() const { return m_token; }
    void setLogin(const QString& login) { m_login = login; }
    void setPassword(const QString& password) { m_password = password; }
    void setToken(const QString& token) { m_token = token; }

private:
    QString m_login;
    QString m_password;
    QString m_token;
};
