#include "albumcreatecommand.h"

#include "session.h"

QString AlbumCreateCommand::summary() const {
    return QStringLiteral("create an album and print its ID");
}

QList<Arguments::Option> AlbumCreateCommand::options() const {
    return {{QStringLiteral("title"), QStringLiteral("T"), true},
            {QStringLiteral("summary"), QStringLiteral("S"), false},
            {QStringLiteral("password"), QStringLiteral("P"), false}};
}

QString AlbumCreateCommand::details() const {
    return QStringLiteral("With --password the album is protected by that password.");
}

int AlbumCreateCommand::run(const Arguments& arguments, Session& session) {
    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    int error = 0;
    const QString albumId = session.client().createNewUserAlbumWithTitle(
        arguments.value(QStringLiteral("title")),
        arguments.value(QStringLiteral("summary"), QStringLiteral("")),
        arguments.value(QStringLiteral("password"), QStringLiteral("")), session.credentials(),
        &error);
    if (albumId.isEmpty())
        return session.fail(QStringLiteral("album create"), error);
    Session::print(albumId);
    return ExitStatus::Ok;
}
