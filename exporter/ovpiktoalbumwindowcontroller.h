#pragma once

#include <QDialog>

// The album sheet's window (create or edit an album), window-modal on the host's export
// window. Every way of closing it ends the sheet through closeWindow with code 1001, and
// sets first whether the sheet-end handler applies the changes: Enter and Return apply
// them, Escape and the window's own close discard them.
class OvPiktoAlbumWindowController : public QDialog {
    Q_OBJECT

public:
    explicit OvPiktoAlbumWindowController(QWidget* parent = nullptr);

    // Enter or Return applies the sheet and returns true; other keys go to the default
    // handling (Escape rejects, which discards), whose result is returned.
    bool performKeyEquivalent(QKeyEvent* event);
    // Key releases go to the default handling.
    void keyUp(QKeyEvent* event);
    // Closes the window and ends the sheet with code 1001; leaves the apply choice as set.
    void closeWindow();
    // Discards the sheet (the window's close button and QDialog's own escape path).
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void endSheet(bool apply);
};
