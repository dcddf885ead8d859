#pragma once

#include <QString>

// What happened to the client's last request, beside its result code, so that a
// person can be told more than the code says.
class RequestOutcome {
public:
    enum class Kind {
        None,           // no request yet
        Answered,       // an HTTP answer arrived (see status)
        Unreachable,    // no answer: refused, unknown host, closed, bad address (see detail)
        TimedOut,       // nothing arrived for the silence time-out
        DeadlinePassed, // the answer did not end within the overall deadline
        TooLarge,       // the answer was longer than the cap (see limitBytes)
        TooDeep,        // the answer nested deeper than the XML depth limit
        Unreadable,     // the answer arrived but does not say what it should
    };

    Kind kind = Kind::None;
    QString subject; // who answered: "the service" or "the feed"
    QString origin;  // the service's origin, e.g. "http://127.0.0.1:8480"
    int status = 0;  // the HTTP status when one arrived
    QString detail;  // why it was unreachable, e.g. "connection refused"
    double seconds = 0;
    qint64 limitBytes = 0;

    // One line for a person, e.g. "cannot reach http://127.0.0.1:1: connection
    // refused" or "the feed answered 404"; empty when there is nothing to say (no
    // request, or an answer with a 2xx status).
    QString text() const;
};
