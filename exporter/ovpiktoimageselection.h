#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Splits the host's selected photos into those that will be uploaded and those set aside
// because the service does not take files of 20 MiB or more.
class OvPiktoImageSelection {
public:
    // The largest file size that is still sent: 20 MiB less one byte.
    static constexpr qint64 maxFileSize = 20971519;

    struct Lists {
        QStringList imagesToUpload; // in host order
        QStringList skippedImages;  // too large, in host order
    };

    // Walks the selection from index 0 while the index is below `imageCount()`, which is
    // asked again on every pass. A path whose size cannot be read (missing file, broken
    // link; links are followed) is left out of both lists; a size above maxFileSize goes
    // to the skipped list, any other to the upload list. Nothing else about the file is
    // looked at.
    static Lists makeListOfImagesToUpload(const std::function<int()>& imageCount,
                                          const std::function<QString(int)>& imagePathAtIndex);
};
