#pragma once

#include <QList>
#include <QWidget>

class QButtonGroup;
class QToolButton;

// A row of joined push segments, each with a label or an image and a tag; a click
// selects the segment and emits `activated`. The interface resources give the segments
// through `labels` (one segment per entry) and `images` (bundle resource names).
class SegmentedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList labels READ labels WRITE setLabels)
    Q_PROPERTY(QStringList images READ images WRITE setImages)

public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    int segmentCount() const { return int(m_segments.size()); }
    // Replaces the segments, one per label; tags run 0, 1, 2...
    void setLabels(const QStringList& labels);
    QStringList labels() const;
    // Gives segment i the image of resource images[i] from the plug-in bundle.
    void setImages(const QStringList& images);
    QStringList images() const { return m_images; }

    // Sets the label of `segment`; a null string removes it (the image stays).
    void setLabel(const QString& label, int segment);
    QString label(int segment) const;
    void setWidth(int width, int segment);
    int width(int segment) const;
    void setTag(int tag, int segment);
    int tag(int segment) const;
    // The last clicked segment, or -1.
    int selectedSegment() const { return m_selected; }
    void setSelectedSegment(int segment);
    // The segment's button (tests click it).
    QToolButton* segmentButton(int segment) const;

signals:
    // A segment was clicked; it is the selected segment now.
    void activated(int segment);

private:
    QList<QToolButton*> m_segments;
    QList<int> m_tags;
    QStringList m_images;
    int m_selected = -1;
};
