#pragma once

#include <QPointer>
#include <QTableView>

#include <functional>

// The album table: read-only, never sorted, whole rows selected. Control + Down arrow
// sends the show-album action (open the selected album's web page), with or without a
// selection; every other key works as in any table.
class OvPiktoAlbumList : public QTableView {
    Q_OBJECT

public:
    explicit OvPiktoAlbumList(QWidget* parent = nullptr);

    // The show-album action: slot or invokable method `selector` of `object` (not owned),
    // called without argument. An empty selector or a null object sends nothing.
    void setShowAlbumSelector(const QString& selector, QObject* object);
    // The same with a function; an empty function sends nothing.
    void setShowAlbumSelector(std::function<void()> action);

    // Redraws the rows; the model has already announced the new list.
    void reloadData();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    static bool isShowAlbumKey(const QKeyEvent* event);
    void sendShowAlbum();

    QByteArray m_showAlbumSelector;
    QPointer<QObject> m_showAlbumSelectorObject;
    std::function<void()> m_showAlbumAction;
};
