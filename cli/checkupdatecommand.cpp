#include "checkupdatecommand.h"

#include "serviceresult.h"
#include "session.h"

QString CheckUpdateCommand::summary() const {
    return QStringLiteral("look in the versions feed for a release newer than VERSION");
}

int CheckUpdateCommand::run(const Arguments& arguments, Session& session) {
    const QString current = arguments.parameters().at(0);
    if (current.trimmed().isEmpty())
        return Session::usageError(QStringLiteral("check-update: VERSION is empty"));
    // Fetched apart from the evaluation, so that an unreachable feed is not "no update".
    const auto feed = session.client().fetchVersionsData();
    if (!feed)
        return session.fail(QStringLiteral("check-update"), ServiceResult::NoConnection);
    const auto info = session.client().fetchUpdatedVersionInfo(current, *feed);
    if (!info) {
        Session::print(QStringLiteral("no update"));
        return ExitStatus::Ok;
    }
    Session::print(QStringList{info->version(), info->url(), info->title()}.join('\t'));
    return ExitStatus::Ok;
}
