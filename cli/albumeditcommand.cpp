#include "albumeditcommand.h"

#include "serviceresult.h"
#include "session.h"

QString AlbumEditCommand::summary() const {
    return QStringLiteral("change an album's title, summary and password");
}

QList<Arguments::Option> AlbumEditCommand::options() const {
    return {{QStringLiteral("title"), QStringLiteral("T"), true},
            {QStringLiteral("summary"), QStringLiteral("S"), true},
            {QStringLiteral("password"), QStringLiteral("P"), false}};
}

QString AlbumEditCommand::details() const {
    return QStringLiteral("Without --password (or with an empty one) the album is left "
                          "unprotected.");
}

int AlbumEditCommand::run(const Arguments& arguments, Session& session) {
    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    const QString albumId = arguments.parameters().at(0);
    int error = 0;
    // The update reports any failed fetch as "no connection"; asking first tells a
    // missing album apart.
    session.client().fetchAlbumDataWithID(albumId, session.credentials(), &error);
    if (error != ServiceResult::Success)
        return session.fail(QStringLiteral("album edit"), error);
    session.client().updateUserAlbumWithID(
        albumId, arguments.value(QStringLiteral("title")),
        arguments.value(QStringLiteral("summary")),
        arguments.value(QStringLiteral("password"), QStringLiteral("")), session.credentials(),
        &error);
    if (error != ServiceResult::Success)
        return session.fail(QStringLiteral("album edit"), error);
    Session::print(QStringLiteral("updated album %1").arg(albumId));
    return ExitStatus::Ok;
}
