#include "albumeditcommand.h"

#include "serviceresult.h"
#include "session.h"

QString AlbumEditCommand::summary() const {
    return QStringLiteral("change an album's title, summary and password");
}

QList<Arguments::Option> AlbumEditCommand::options() const {
    return {{QStringLiteral("title"), QStringLiteral("T"), true},
            {QStringLiteral("summary"), QStringLiteral("S"), true},
            {QStringLiteral("password"), QStringLiteral("P"), false},
            {QStringLiteral("remove-password"), QString(), false}};
}

QString AlbumEditCommand::details() const {
    return QStringLiteral("The album keeps its password unless --password P sets a new one or "
                          "--remove-password removes it.");
}

int AlbumEditCommand::run(const Arguments& arguments, Session& session) {
    const bool setsPassword = arguments.has(QStringLiteral("password"));
    const bool removesPassword = arguments.has(QStringLiteral("remove-password"));
    if (setsPassword && removesPassword)
        return Session::usageError(
            QStringLiteral("album edit: --password and --remove-password exclude each other"));
    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    const QString albumId = arguments.parameters().at(0);
    int error = 0;
    // The update reports any failed fetch as "no connection"; asking first tells a
    // missing album apart.
    session.client().fetchAlbumDataWithID(albumId, session.credentials(), &error);
    if (error != ServiceResult::Success)
        return session.fail(QStringLiteral("album edit"), error);
    std::optional<QString> password;
    if (setsPassword)
        password = arguments.value(QStringLiteral("password"));
    else if (removesPassword)
        password = QString();
    session.client().updateUserAlbumWithID(albumId, arguments.value(QStringLiteral("title")),
                                           arguments.value(QStringLiteral("summary")), password,
                                           session.credentials(), &error);
    if (error != ServiceResult::Success)
        return session.fail(QStringLiteral("album edit"), error);
    Session::print(QStringLiteral("updated album %1").arg(albumId));
    return ExitStatus::Ok;
}
