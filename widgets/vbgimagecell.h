#pragma once

#include <QStyledItemDelegate>

// The protection column's cell: draws the item's image (its decoration) scaled into the
// largest square that fits the cell, centred both ways. Items without an image draw as
// usual.
class VBGImageCell : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit VBGImageCell(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // Where the image goes in `frame`: a square of side min(width, height), centred.
    static QRectF imageRect(const QRectF& frame);
};
