#pragma once

#include <QByteArray>
#include <QString>

// What came back from a synchronous request. `received` is false when no usable HTTP
// answer arrived (refused, dropped, timed out, too large, bad URL); then data is empty,
// `failure` says why and status is 0, or the status of an answer that was too large.
struct HttpResponse {
    enum class Failure {
        None,              // an answer arrived whole
        InvalidUrl,        // not an absolute URL with a host
        UnsupportedScheme, // a scheme the network layer does not speak (ftp://)
        ConnectionRefused,
        HostNotFound,
        ConnectionClosed, // the peer closed before a whole answer
        TimedOut,         // silence longer than the request's time-out
        DeadlinePassed,   // still running at the request's deadline
        TooLarge,         // more bytes than the request accepts
        Other,            // any other transport failure (see `error`)
    };

    bool received = false;
    int status = 0;
    QByteArray data;
    Failure failure = Failure::None;
    // A short description of the transport failure, for logs.
    QString error;
};
