#pragma once

#include "ovpiktocredentials.h"
#include "ovpiktoexportercommlayer.h"

#include <QString>

#include <optional>

// What every command shares: the global options, the service client and the signed-in
// credentials. Messages for people go to standard error; results to standard output.
class Session {
public:
    explicit Session(const ServiceUrls& urls) : m_client(urls) {}

    QString login;                  // from --login; null when not given
    bool passwordFromStdin = false; // --password-stdin

    OvPiktoExporterCommLayer& client() { return m_client; }
    const ServiceUrls& serviceUrls() const { return m_client.serviceUrls(); }
    // The credentials after a successful signIn(): login and token.
    const OVPiktoCredentials& credentials() const { return m_credentials; }

    // Reads the password (PIKTO_PASSWORD, or one line of standard input with
    // --password-stdin) and signs in. Returns 0 when signed in; otherwise prints why
    // and returns the exit status: 64 without a login or password, else the sign-in's
    // result code.
    int signIn();

    // Prints "pikto: WHAT: <why>" on standard error and returns the exit status for the
    // failed request: the code itself, or 2 for a code outside 1..5. For codes 1 and 2
    // <why> is what happened to the client's last request when it says something (e.g.
    // "cannot reach http://127.0.0.1:1: connection refused"), else the text for the code.
    int fail(const QString& what, int code) const;
    // When the client's last answer arrived but could not be read, prints
    // "pikto: warning: WHAT: <why>" on standard error; the caller carries on.
    void warnIfUnreadable(const QString& what) const;
    // The text for a service result code.
    static QString messageForResult(int code);
    // Writes one line of results to standard output (UTF-8).
    static void print(const QString& line);
    // Writes "pikto: TEXT" as one line to standard error.
    static void printError(const QString& text);
    // Prints "pikto: TEXT" on standard error and returns 64.
    static int usageError(const QString& text);

private:
    // The password as the user supplied it; nothing when none was supplied.
    std::optional<QString> readPassword() const;

    OvPiktoExporterCommLayer m_client;
    OVPiktoCredentials m_credentials;
};
