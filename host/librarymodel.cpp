#include "librarymodel.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

LibraryModel::LibraryModel(QObject* parent) : QAbstractListModel(parent) {}

void LibraryModel::setFolder(const QString& folder) {
    beginResetModel();
    m_paths.clear();
    m_thumbnails.clear();
    const QDir dir(folder);
    const QStringList filters = {"*.jpg", "*.jpeg", "*.png", "*.tif", "*.tiff", "*.gif", "*.bmp",
                                 "*.JPG", "*.JPEG", "*.PNG", "*.TIF", "*.TIFF", "*.GIF", "*.BMP"};
    for (const QString& name : dir.entryList(filters, QDir::Files | QDir::Readable, QDir::Name))
        m_paths << QDir::cleanPath(dir.absoluteFilePath(name));
    endResetModel();
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_paths.size());
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_paths.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QFileInfo(m_paths.at(index.row())).fileName();
    case Qt::DecorationRole:
        return thumbnail(index.row());
    case Qt::ToolTipRole:
    case PathRole:
        return m_paths.at(index.row());
    default:
        return {};
    }
}

QPixmap LibraryModel::thumbnail(int row) const {
    if (auto found = m_thumbnails.constFind(row); found != m_thumbnails.cend())
        return *found;
    QImageReader reader(m_paths.at(row));
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(size.scaled(thumbnailSize, thumbnailSize, Qt::KeepAspectRatio));
    QImage image = reader.read();
    QPixmap pixmap(thumbnailSize, thumbnailSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    if (image.isNull()) {
        // An unreadable file still gets a tile, so it can be selected and exported.
        painter.fillRect(pixmap.rect().adjusted(8, 8, -8, -8), QColor(200, 200, 200));
    } else {
        painter.drawImage((thumbnailSize - image.width()) / 2, (thumbnailSize - image.height()) / 2,
                          image);
    }
    painter.end();
    m_thumbnails.insert(row, pixmap);
    return pixmap;
}
