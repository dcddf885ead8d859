#include "albumscommand.h"

#include "session.h"

namespace {

// Tabs and line breaks inside a field would break the one-line, tab-separated format.
QString field(QString text) {
    for (QChar& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

} // namespace

QString AlbumsCommand::summary() const {
    return QStringLiteral("list the albums");
}

QString AlbumsCommand::details() const {
    return QStringLiteral("Prints one album a line: ID, name, image count, locked or open, "
                          "description,\nseparated by tabs. An account without albums lists "
                          "the placeholder album -1.");
}

int AlbumsCommand::run(const Arguments&, Session& session) {
    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    int error = 0;
    const auto albums =
        session.client().getUserAlbumsWithCredentials(session.credentials(), &error);
    if (!albums)
        return session.fail(QStringLiteral("albums"), error);
    // The list stands (the placeholder album), but the user learns it was not read.
    session.warnIfUnreadable(QStringLiteral("albums"));
    for (const OvPiktoAlbum& album : *albums) {
        Session::print(QStringList{
            field(album.albumId()), field(album.name()), QString::number(album.imagesCount()),
            album.isLocked() ? QStringLiteral("locked") : QStringLiteral("open"),
            field(album.description())}
                           .join('\t'));
    }
    return ExitStatus::Ok;
}
