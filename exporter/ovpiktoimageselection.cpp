#include "ovpiktoimageselection.h"

#include <QFileInfo>

OvPiktoImageSelection::Lists OvPiktoImageSelection::makeListOfImagesToUpload(
    const std::function<int()>& imageCount, const std::function<QString(int)>& imagePathAtIndex) {
    Lists lists;
    for (int i = 0; i < imageCount(); ++i) {
        const QString path = imagePathAtIndex(i);
        if (path.isEmpty())
            continue;
        // QFileInfo follows symbolic links for exists() and size(); a broken link does
        // not exist.
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        if (info.size() > maxFileSize)
            lists.skippedImages.append(path);
        else
            lists.imagesToUpload.append(path);
    }
    return lists;
}
