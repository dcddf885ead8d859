#pragma once

#include "ovpiktoalbum.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

#include <optional>

class OvPiktoAlbumList;

// The album table's model: holds the user's albums in the order the service sent them
// (never sorted) and shows name, photo count and, for password-protected albums, the
// "i-friends.png" icon. Columns are told apart by identifier "0", "1", "2".
class OvPiktoAlbumsListController : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit OvPiktoAlbumsListController(QObject* parent = nullptr);

    // Connects the table (the outlet): the table shows this model. May be null.
    void setTable(OvPiktoAlbumList* table);
    OvPiktoAlbumList* table() const { return m_table; }
    // Gives the protection column its image cell (owned by the table), centred.
    void awakeFromNib();

    // Replaces the list (nothing = no list). The first list stored sets
    // columnSortSelector to "nameComparisonDesc:". The table's selected row numbers that
    // still exist stay selected, as a reload of the table's rows keeps them.
    void setAlbums(std::optional<QList<OvPiktoAlbum>> albums);
    const std::optional<QList<OvPiktoAlbum>>& albums() const { return m_albums; }
    // The comparator recorded as the default order; empty until the first list.
    QString columnSortSelector() const { return m_columnSortSelector; }

    // Selects the first row whose album has identifier `albumID`, replacing the
    // selection; an identifier not in the list changes nothing. Logs each comparison.
    void selectAlbumByID(const QString& albumID);

    // The number of albums; 0 without a list.
    int numberOfRowsInTableView() const;
    // The value of the column with `identifier` (read as its leading integer) for `row`:
    // "0" the name, "1" the image count as "%d", "2" the icon (a QImage) for a locked
    // album; nothing otherwise or for a row outside the list.
    QVariant objectValueForTableColumn(const QString& identifier, int row) const;
    // No cell is editable.
    bool shouldEditTableColumn(const QString& identifier, int row) const;
    // The identifier of column `column`.
    static QString columnIdentifier(int column) { return QString::number(column); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Name and count as display text; the icon as decoration of column "2".
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::optional<QList<OvPiktoAlbum>> m_albums;
    QPointer<OvPiktoAlbumList> m_table;
    QString m_columnSortSelector;
};
