#pragma once

#include <QByteArray>
#include <QString>

// What came back from a synchronous request. `received` is false when no HTTP answer
// arrived at all (refused, dropped, timed out, bad URL); then status is 0 and data empty.
struct HttpResponse {
    bool received = false;
    int status = 0;
    QByteArray data;
    // A short description of the transport failure, for logs.
    QString error;
};
