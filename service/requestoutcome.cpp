#include "requestoutcome.h"

#include "xmldocument.h"

namespace {

QString size(qint64 bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    return QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

QString RequestOutcome::text() const {
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Answered:
        if (status >= 200 && status < 300)
            return {};
        return QStringLiteral("%1 answered %2").arg(subject).arg(status);
    case Kind::Unreachable:
        return QStringLiteral("cannot reach %1: %2").arg(origin, detail);
    case Kind::TimedOut:
        return QStringLiteral("cannot reach %1: nothing arrived for %2 s").arg(origin).arg(seconds);
    case Kind::DeadlinePassed:
        return QStringLiteral("%1 did not finish its answer within %2 s").arg(subject).arg(seconds);
    case Kind::TooLarge:
        return QStringLiteral("the answer of %1 is larger than %2").arg(subject, size(limitBytes));
    case Kind::TooDeep:
        return QStringLiteral("the answer of %1 is nested deeper than %2 levels")
            .arg(subject)
            .arg(XmlDocument::maxDepth);
    case Kind::Unreadable:
        return QStringLiteral("the answer of %1 could not be read").arg(subject);
    }
    return {};
}
