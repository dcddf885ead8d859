#pragma once

#include <QDialog>

// The album sheet's window (create or edit an album), window-modal on the host's export
// window. Enter and Escape end it through closeWindow.
class OvPiktoAlbumWindowController : public QDialog {
    Q_OBJECT

public:
    explicit OvPiktoAlbumWindowController(QWidget* parent = nullptr);

    // Whether the event was handled as a key equivalent.
    bool performKeyEquivalent(QKeyEvent* event);
    void keyUp(QKeyEvent* event);
    // Closes the window and ends the sheet with code 1001.
    void closeWindow();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};
