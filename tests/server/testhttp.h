#pragma once

#include "httpresponse.h"

#include <QByteArray>
#include <QString>

#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// Short-hands for the service tests: one synchronous request through the platform client.
class TestHttp {
public:
    // The Authorization header value the client sends for a token.
    static QByteArray zimpToken(const QByteArray& token);
    // Sends `method` to `url`; `authorization` is sent when not empty.
    static HttpResponse send(const QByteArray& method, const QString& url,
                             const QByteArray& authorization = {}, const QByteArray& body = {},
                             const QByteArray& contentType = "application/atom+xml; type=entry",
                             double timeoutSeconds = 5.0);
    static HttpResponse get(const QString& url, double timeoutSeconds = 5.0);
};
