#include "uploadcommand.h"

#include "ovpiktoexporteruploader.h"
#include "photosender.h"
#include "session.h"
#include "uploadprogress.h"

#include <QFileInfo>

#include <unistd.h>

QString UploadCommand::summary() const {
    return QStringLiteral("upload photos to an album, one after another");
}

QList<Arguments::Option> UploadCommand::options() const {
    return PhotoSender::options();
}

QString UploadCommand::details() const {
    return QStringLiteral(
        "Access is public unless --access says otherwise. Files of 20 MiB or more are\n"
        "set aside and listed. On a terminal a progress bar shows the photo and the amount\n"
        "sent; otherwise one line is printed as each photo starts and ends. The album's web\n"
        "address is printed at the end. A failure stops the run: the photos sent before it\n"
        "stay in the album.");
}

int UploadCommand::run(const Arguments& arguments, Session& session) {
    PhotoSender sender(session, QStringLiteral("upload"));
    if (!sender.configure(arguments))
        return ExitStatus::Usage;

    // Every file must be there before anything is sent; the large ones are set aside.
    QStringList files;
    for (const QString& path : arguments.parameters()) {
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable())
            return Session::usageError(QStringLiteral("upload: cannot read %1").arg(path));
        if (!OvPiktoExporterUploader::isSendableFileName(info.fileName()))
            return Session::usageError(
                QStringLiteral("upload: cannot send %1: its name holds a line break; rename it")
                    .arg(PhotoSender::printable(path)));
        if (info.size() >= PhotoSender::sizeLimit) {
            Session::printError(
                QStringLiteral("upload: %1").arg(PhotoSender::tooLargeNote(path, info.size())));
            continue;
        }
        files.append(path);
    }
    if (files.isEmpty())
        return Session::usageError(QStringLiteral("upload: nothing left to upload"));

    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    if (const int status = sender.checkAlbum(); status != ExitStatus::Ok)
        return status;

    // One options record per file, and the total the progress runs to.
    QList<OVPiktoUploadOptions> uploads;
    QList<double> sizes;
    double totalKiB = 0;
    for (const QString& path : files) {
        uploads.append(sender.optionsFor(path));
        sizes.append(sender.requestKiB(uploads.last()));
        totalKiB += sizes.last();
    }

    UploadProgress progress(int(uploads.size()), totalKiB, isatty(STDOUT_FILENO) != 0);
    double doneKiB = 0;
    for (qsizetype i = 0; i < uploads.size(); ++i) {
        progress.beginPhoto(int(i), uploads[i].fileName(), doneKiB);
        const PhotoSender::Outcome outcome = sender.send(uploads[i], progress, doneKiB);
        if (outcome == PhotoSender::Outcome::Stored) {
            doneKiB += sizes[i];
            progress.endPhoto(doneKiB);
            continue;
        }
        progress.finish();
        Session::printError(
            QStringLiteral("upload: %1 of %2 photos uploaded").arg(i).arg(uploads.size()));
        return sender.explain(uploads[i].filePath(), outcome).status;
    }
    progress.finish();
    Session::print(QStringLiteral("%1 photos uploaded").arg(uploads.size()));
    Session::print(
        session.serviceUrls().albumPage(session.credentials().login(), sender.albumId()));
    return ExitStatus::Ok;
}
