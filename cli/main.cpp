// pikto: publish to the photo service from a shell, on the same library as the plug-in.
#include "albumcreatecommand.h"
#include "albumdeletecommand.h"
#include "albumeditcommand.h"
#include "albumscommand.h"
#include "checkupdatecommand.h"
#include "dispatcher.h"
#include "signincommand.h"
#include "synccommand.h"
#include "uploadcommand.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pikto"));

    // One line per command; a new command only needs its own files and a line here.
    // The one place the program reads the service origin from the environment.
    Dispatcher dispatcher(ServiceUrls::fromEnvironment());
    // And the one place it reads the certificate authorities' file.
    dispatcher.setDefaultCaFile(qEnvironmentVariable("OVPIKTO_CA_FILE"));
    dispatcher.add(std::make_unique<SignInCommand>());
    dispatcher.add(std::make_unique<AlbumsCommand>());
    dispatcher.add(std::make_unique<AlbumCreateCommand>());
    dispatcher.add(std::make_unique<AlbumEditCommand>());
    dispatcher.add(std::make_unique<AlbumDeleteCommand>());
    dispatcher.add(std::make_unique<CheckUpdateCommand>());
    dispatcher.add(std::make_unique<UploadCommand>());
    dispatcher.add(std::make_unique<SyncCommand>());

    return dispatcher.run(QCoreApplication::arguments().mid(1));
}
