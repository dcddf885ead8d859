#pragma once

#include <QString>

// Which certificate authorities HTTPS answers are checked against, for every request of the
// program (synchronous requests and uploads alike): the system's store, unless a program
// names a file of its own.
class TlsTrust {
public:
    // Trusts only the PEM certificates of `pemFile` from now on. Returns false, with the
    // reason in `error` and the trust unchanged, when the file cannot be read or holds no
    // certificate. Call before the first request.
    static bool useAuthoritiesFrom(const QString& pemFile, QString* error);
    // The same for the file OVPIKTO_CA_FILE names, as every program of the project reads
    // it. Returns true when the variable is unset or empty (the system's store stays) or
    // the file was taken; false, with the reason in `error`, otherwise.
    static bool useAuthoritiesFromEnvironment(QString* error);
};
