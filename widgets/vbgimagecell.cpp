#include "vbgimagecell.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace {

// The item's image, whichever image type the model hands out; a null image when none.
QImage imageOf(const QModelIndex& index) {
    const QVariant value = index.data(Qt::DecorationRole);
    switch (value.typeId()) {
    case QMetaType::QImage:
        return value.value<QImage>();
    case QMetaType::QPixmap:
        return value.value<QPixmap>().toImage();
    case QMetaType::QIcon: {
        const QIcon icon = value.value<QIcon>();
        const QList<QSize> sizes = icon.availableSizes();
        return sizes.isEmpty() ? QImage() : icon.pixmap(sizes.last()).toImage();
    }
    default:
        return {};
    }
}

} // namespace

VBGImageCell::VBGImageCell(QObject* parent) : QStyledItemDelegate(parent) {}

void VBGImageCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const QImage image = imageOf(index);
    if (image.isNull()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The row's background (selection) first, then the image over it.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);

    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->drawImage(imageRect(QRectF(option.rect)), image);
    painter->restore();
}

QRectF VBGImageCell::imageRect(const QRectF& frame) {
    const qreal side = qMin(frame.width(), frame.height());
    return {frame.x() + (frame.width() - side) / 2, frame.y() + (frame.height() - side) / 2, side,
            side};
}
