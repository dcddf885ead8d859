#include "ovpiktoalbumslistcontroller.h"

#include "leadinginteger.h"
#include "log.h"
#include "ovpiktoalbumlist.h"
#include "qzutils.h"
#include "vbgimagecell.h"

#include <QItemSelectionModel>

namespace {

constexpr int nameColumn = 0;
constexpr int countColumn = 1;
constexpr int lockColumn = 2;
constexpr int columnTotal = 3;

// How the log shows a missing text.
QString orNull(const QString& text) {
    return text.isNull() ? QStringLiteral("(null)") : text;
}

} // namespace

OvPiktoAlbumsListController::OvPiktoAlbumsListController(QObject* parent)
    : QAbstractTableModel(parent) {}

void OvPiktoAlbumsListController::setTable(OvPiktoAlbumList* table) {
    m_table = table;
    if (table)
        table->setModel(this);
}

void OvPiktoAlbumsListController::awakeFromNib() {
    if (!m_table)
        return;
    auto* cell = new VBGImageCell(m_table);
    m_table->setItemDelegateForColumn(lockColumn, cell);
}

void OvPiktoAlbumsListController::setAlbums(std::optional<QList<OvPiktoAlbum>> albums) {
    QList<int> selectedRows;
    if (m_table && m_table->selectionModel()) {
        for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
            selectedRows.append(index.row());
    }
    beginResetModel();
    m_albums = std::move(albums);
    if (m_albums && m_columnSortSelector.isEmpty())
        m_columnSortSelector = QStringLiteral("nameComparisonDesc:");
    endResetModel();

    if (!m_table || !m_table->selectionModel())
        return;
    QItemSelection keep;
    for (int row : selectedRows) {
        if (row < rowCount())
            keep.select(index(row, 0), index(row, columnTotal - 1));
    }
    m_table->selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
}

void OvPiktoAlbumsListController::selectAlbumByID(const QString& albumID) {
    Log::write(
        QStringLiteral("%1: %2").arg(QStringLiteral("selectAlbumByID"), QStringLiteral("Entered")));
    if (!m_albums)
        return;
    for (int row = 0; row < m_albums->size(); ++row) {
        const QString& current = m_albums->at(row).albumId();
        Log::write(
            QStringLiteral("currAlbumID: %1, albumID: %2").arg(orNull(current), orNull(albumID)));
        if (current != albumID)
            continue;
        if (m_table && m_table->selectionModel()) {
            m_table->selectionModel()->setCurrentIndex(
                index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        return;
    }
}

int OvPiktoAlbumsListController::numberOfRowsInTableView() const {
    return m_albums ? int(m_albums->size()) : 0;
}

QVariant OvPiktoAlbumsListController::objectValueForTableColumn(const QString& identifier,
                                                                int row) const {
    if (!m_albums || row < 0 || row >= m_albums->size())
        return {};
    const OvPiktoAlbum& album = m_albums->at(row);
    switch (leadingInteger(identifier)) {
    case nameColumn:
        return album.name();
    case countColumn:
        return QString::number(album.imagesCount());
    case lockColumn:
        if (album.isLocked())
            return QZUtils::loadPngImageFromResource(QStringLiteral("i-friends.png"));
        return {};
    default:
        return {};
    }
}

bool OvPiktoAlbumsListController::shouldEditTableColumn(const QString&, int) const {
    return false;
}

int OvPiktoAlbumsListController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : numberOfRowsInTableView();
}

int OvPiktoAlbumsListController::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnTotal;
}

QVariant OvPiktoAlbumsListController::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const bool isIconColumn = index.column() == lockColumn;
    if ((role == Qt::DisplayRole && !isIconColumn) || (role == Qt::DecorationRole && isIconColumn))
        return objectValueForTableColumn(columnIdentifier(index.column()), index.row());
    return {};
}

QVariant OvPiktoAlbumsListController::headerData(int section, Qt::Orientation orientation,
                                                 int role) const {
    // The table shows no headings; the columns are identified by number only.
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal)
        return QString();
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags OvPiktoAlbumsListController::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}
