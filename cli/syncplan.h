#pragma once

#include "syncrecord.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What a sync of a folder does, found by walking it (sub-folders too; hidden files and
// folders and links to folders left out) in path order and comparing each file with the
// record: the files to send, how many are in the album already, and the notes of the
// files set aside. A file is read (to hash its content) only when its size or
// modification time differ from what the record saw at its path.
class SyncPlan {
public:
    struct Photo {
        QString path; // absolute
        QString name; // relative to the folder, as shown
        SyncRecord::Seen seen;
    };

    // The plan for `folder` (an existing directory) against `record`. Sets aside, with a
    // note as `pikto upload` words it, files of 20 MiB or more, files whose name holds a
    // line break and files that cannot be read. A content sent before, or found earlier in
    // the same walk, counts as already there.
    static SyncPlan make(const QString& folder, const SyncRecord& record);

    QList<Photo> toSend;
    int alreadyThere = 0;
    QStringList setAside;
    // What was hashed in this walk, for the record.
    QHash<QString, SyncRecord::Seen> newlySeen;
};
