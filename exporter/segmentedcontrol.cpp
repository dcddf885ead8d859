#include "segmentedcontrol.h"

#include "qzutils.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QToolButton>

SegmentedControl::SegmentedControl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void SegmentedControl::setLabels(const QStringList& labels) {
    qDeleteAll(m_segments);
    m_segments.clear();
    m_tags.clear();
    m_selected = -1;
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(labels.at(i));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, i] {
            m_selected = i;
            emit activated(i);
        });
        layout()->addWidget(button);
        m_segments.append(button);
        m_tags.append(i);
    }
    if (!m_images.isEmpty())
        setImages(m_images);
}

QStringList SegmentedControl::labels() const {
    QStringList result;
    for (const QToolButton* button : m_segments)
        result << button->text();
    return result;
}

void SegmentedControl::setImages(const QStringList& images) {
    m_images = images;
    for (int i = 0; i < images.size() && i < m_segments.size(); ++i) {
        const QImage image = QZUtils::loadPngImageFromResource(images.at(i));
        if (!image.isNull())
            m_segments.at(i)->setIcon(QIcon(QPixmap::fromImage(image)));
    }
}

void SegmentedControl::setLabel(const QString& label, int segment) {
    if (QToolButton* button = segmentButton(segment)) {
        button->setText(label);
        button->setToolButtonStyle(label.isEmpty() ? Qt::ToolButtonIconOnly
                                                   : Qt::ToolButtonTextBesideIcon);
    }
}

QString SegmentedControl::label(int segment) const {
    const QToolButton* button = segmentButton(segment);
    return button ? button->text() : QString();
}

void SegmentedControl::setWidth(int width, int segment) {
    if (QToolButton* button = segmentButton(segment))
        button->setFixedWidth(width);
}

int SegmentedControl::width(int segment) const {
    const QToolButton* button = segmentButton(segment);
    return button ? button->width() : 0;
}

void SegmentedControl::setTag(int tag, int segment) {
    if (segment >= 0 && segment < m_tags.size())
        m_tags[segment] = tag;
}

int SegmentedControl::tag(int segment) const {
    return segment >= 0 && segment < m_tags.size() ? m_tags.at(segment) : -1;
}

void SegmentedControl::setSelectedSegment(int segment) {
    m_selected = segment >= 0 && segment < m_segments.size() ? segment : -1;
}

QToolButton* SegmentedControl::segmentButton(int segment) const {
    return segment >= 0 && segment < m_segments.size() ? m_segments.at(segment) : nullptr;
}
