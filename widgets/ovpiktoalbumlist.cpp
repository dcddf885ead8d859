#include "ovpiktoalbumlist.h"

#include "log.h"

#include <QHeaderView>
#include <QKeyEvent>

OvPiktoAlbumList::OvPiktoAlbumList(QWidget* parent) : QTableView(parent) {
    setSortingEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void OvPiktoAlbumList::setShowAlbumSelector(const QString& selector, QObject* object) {
    m_showAlbumAction = nullptr;
    m_showAlbumSelector = selector.toLatin1();
    m_showAlbumSelectorObject = object;
}

void OvPiktoAlbumList::setShowAlbumSelector(std::function<void()> action) {
    m_showAlbumSelector.clear();
    m_showAlbumSelectorObject = nullptr;
    m_showAlbumAction = std::move(action);
}

void OvPiktoAlbumList::reloadData() {
    viewport()->update();
}

void OvPiktoAlbumList::keyPressEvent(QKeyEvent* event) {
    if (!isShowAlbumKey(event)) {
        QTableView::keyPressEvent(event);
        return;
    }
    event->accept();
    sendShowAlbum();
}

void OvPiktoAlbumList::keyReleaseEvent(QKeyEvent* event) {
    if (!isShowAlbumKey(event)) {
        QTableView::keyReleaseEvent(event);
        return;
    }
    // The release of the show-album key is taken too, but sends nothing: one keystroke
    // opens the album page once.
    event->accept();
}

bool OvPiktoAlbumList::isShowAlbumKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Down && event->modifiers().testFlag(Qt::ControlModifier);
}

void OvPiktoAlbumList::sendShowAlbum() {
    if (m_showAlbumAction) {
        m_showAlbumAction();
        return;
    }
    if (!m_showAlbumSelectorObject || m_showAlbumSelector.isEmpty())
        return;
    if (!QMetaObject::invokeMethod(m_showAlbumSelectorObject, m_showAlbumSelector.constData(),
                                   Qt::DirectConnection))
        Log::write(QStringLiteral("%1: %2").arg(
            QStringLiteral("keyDown"),
            QStringLiteral("no method %1 to call").arg(QString::fromLatin1(m_showAlbumSelector))));
}
