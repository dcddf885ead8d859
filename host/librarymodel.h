#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QPixmap>
#include <QStringList>

// The photos of one folder (JPEG, PNG, TIFF, GIF, BMP), in name order, with thumbnails
// made when first shown.
class LibraryModel : public QAbstractListModel {
    Q_OBJECT

public:
    static constexpr int PathRole = Qt::UserRole + 1;
    static constexpr int thumbnailSize = 128;

    explicit LibraryModel(QObject* parent = nullptr);

    // Reads the folder again; an unreadable folder gives an empty library.
    void setFolder(const QString& folder);
    const QStringList& paths() const { return m_paths; }
    // The row of `path` (absolute), or -1.
    int rowOfPath(const QString& path) const { return int(m_paths.indexOf(path)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    // The file name as text, the thumbnail as decoration, the absolute path as PathRole.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QPixmap thumbnail(int row) const;

    QStringList m_paths;
    mutable QHash<int, QPixmap> m_thumbnails;
};
