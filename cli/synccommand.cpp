#include "synccommand.h"

#include "photosender.h"
#include "session.h"
#include "syncplan.h"
#include "syncrecord.h"
#include "uploadprogress.h"

#include <QFileInfo>

#include <unistd.h>

QString SyncCommand::summary() const {
    return QStringLiteral("send what a folder holds and an album lacks");
}

QList<Arguments::Option> SyncCommand::options() const {
    return PhotoSender::options() +
           QList<Arguments::Option>{{QStringLiteral("dry-run"), {}, false}};
}

QString SyncCommand::details() const {
    return QStringLiteral(
        "Walks DIR and its sub-folders (hidden files and folders left out) and sends the\n"
        "photos whose content was not sent to the album before, under any name; files of\n"
        "20 MiB or more are set aside as by upload. What went is recorded per service,\n"
        "login and album in $XDG_STATE_HOME/pikto (else ~/.local/state/pikto), each photo\n"
        "as soon as the service confirmed it, so a run stopped at any moment is picked up\n"
        "by the next. A file whose size and modification time are as recorded is not read\n"
        "again. --dry-run lists what would be sent and sends nothing. At the end: the counts\n"
        "and the album's web address. Two syncs of one album at once are refused, and so is\n"
        "a damaged record, which is left as it is.");
}

int SyncCommand::run(const Arguments& arguments, Session& session) {
    PhotoSender sender(session, QStringLiteral("sync"));
    if (!sender.configure(arguments))
        return ExitStatus::Usage;
    const bool dryRun = arguments.has(QStringLiteral("dry-run"));
    const QString folder = arguments.parameters().constFirst();
    if (const QFileInfo info(folder); !info.isDir() || !info.isReadable())
        return Session::usageError(QStringLiteral("sync: cannot read the folder %1").arg(folder));
    if (session.login.isEmpty())
        return Session::usageError(QStringLiteral("no login: give --login LOGIN"));

    const SyncRecord::Key key{session.serviceUrls().origin(), session.login, sender.albumId()};
    QString error;
    const std::unique_ptr<SyncRecord> record =
        SyncRecord::open(SyncRecord::pathFor(SyncRecord::folder(), key), key, !dryRun, &error);
    if (!record)
        return Session::usageError(QStringLiteral("sync: %1").arg(error));
    const SyncPlan plan = SyncPlan::make(folder, *record);
    for (const QString& note : plan.setAside)
        Session::printError(QStringLiteral("sync: %1").arg(note));
    const QString albumPage = session.serviceUrls().albumPage(session.login, sender.albumId());
    if (dryRun) {
        for (const SyncPlan::Photo& photo : plan.toSend)
            Session::print(QStringLiteral("would send %1").arg(PhotoSender::printable(photo.name)));
        Session::print(QStringLiteral("would send %1, already there %2, set aside %3")
                           .arg(plan.toSend.size())
                           .arg(plan.alreadyThere)
                           .arg(plan.setAside.size()));
        Session::print(albumPage);
        return ExitStatus::Ok;
    }
    // Hashes are kept even when nothing is sent: the next run need not read those files.
    if (!record->remember(plan.newlySeen, &error))
        return Session::usageError(QStringLiteral("sync: %1").arg(error));

    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    if (const int status = sender.checkAlbum(); status != ExitStatus::Ok)
        return status;

    QList<double> sizes;
    double totalKiB = 0;
    for (const SyncPlan::Photo& photo : plan.toSend) {
        sizes.append(sender.requestKiB(sender.optionsFor(photo.path)));
        totalKiB += sizes.last();
    }
    UploadProgress progress(int(plan.toSend.size()), totalKiB, isatty(STDOUT_FILENO) != 0);
    double doneKiB = 0;
    int sent = 0;
    int failed = 0;
    int status = ExitStatus::Ok;
    bool stopped = false;
    qsizetype next = 0;
    while (next < plan.toSend.size() && !stopped) {
        const qsizetype i = next++;
        const SyncPlan::Photo& photo = plan.toSend[i];
        progress.beginPhoto(int(i), PhotoSender::printable(photo.name), doneKiB);
        const PhotoSender::Outcome outcome =
            sender.send(sender.optionsFor(photo.path), progress, doneKiB);
        doneKiB += sizes[i];
        if (outcome == PhotoSender::Outcome::Stored) {
            ++sent;
            // Recorded before anything else happens: a run stopped from here on does not
            // send this photo again. Without the record the next photo must not go either.
            if (record->markSent(photo.path, photo.seen, &error)) {
                progress.endPhoto(doneKiB);
                continue;
            }
            progress.finish();
            Session::printError(QStringLiteral("sync: %1").arg(error));
            status = ExitStatus::Usage;
            stopped = true;
            continue;
        }
        progress.finish();
        ++failed;
        const PhotoSender::Failure failure = sender.explain(photo.path, outcome);
        status = failure.status;
        // A refused photo is that photo's matter; anything else ends the run.
        stopped = !failure.photoOnly;
    }
    progress.finish();
    Session::print(QStringLiteral("sent %1, already there %2, set aside %3, failed %4")
                       .arg(sent)
                       .arg(plan.alreadyThere)
                       .arg(plan.setAside.size())
                       .arg(failed));
    if (stopped) {
        Session::printError(
            QStringLiteral("sync: stopped; %1 more photos are left for the next run")
                .arg(plan.toSend.size() - next));
        return status;
    }
    Session::print(albumPage);
    return status;
}
