#include "albumdeletecommand.h"

#include "serviceresult.h"
#include "session.h"

QString AlbumDeleteCommand::summary() const {
    return QStringLiteral("delete an album");
}

int AlbumDeleteCommand::run(const Arguments& arguments, Session& session) {
    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    const QString albumId = arguments.parameters().at(0);
    int error = 0;
    session.client().deleteUserAlbumByID(albumId, session.credentials(), &error);
    if (error != ServiceResult::Success)
        return session.fail(QStringLiteral("album delete"), error);
    Session::print(QStringLiteral("deleted album %1").arg(albumId));
    return ExitStatus::Ok;
}
