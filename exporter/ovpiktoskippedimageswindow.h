#pragma once

#include <QDialog>

// The sheet that lists the photos set aside as too large, window-modal on the host's
// export window; its button closes it.
class OvPiktoSkippedImagesWindow : public QDialog {
    Q_OBJECT

public:
    explicit OvPiktoSkippedImagesWindow(QWidget* parent = nullptr);
};
