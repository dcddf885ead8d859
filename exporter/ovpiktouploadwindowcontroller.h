#pragma once

#include <QDialog>

// The upload sheet's window (progress, failure and result pages), window-modal on the
// host's export window. Neither Enter nor Escape can close it or act on it.
class OvPiktoUploadWindowController : public QDialog {
    Q_OBJECT

public:
    explicit OvPiktoUploadWindowController(QWidget* parent = nullptr);

    // Whether the event was handled as a key equivalent.
    bool performKeyEquivalent(QKeyEvent* event);
    void keyDown(QKeyEvent* event);
    void keyUp(QKeyEvent* event);

public slots:
    // Does nothing: only the sheet's own buttons end it (through done), not Escape and
    // not the window's close button.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};
