#pragma once

#include "exportpluginprotocol.h"

#include <QFrame>

class OvPiktoExporter;

// The plug-in's page as the host shows it. It sees the keys typed anywhere inside it
// before the focused control does (as key equivalents): Return and Enter sign in on the
// signed-out page and start an export on the signed-in page; while an export runs they
// do nothing and Escape is swallowed.
class OvPiktoExporterBox : public QFrame, public ExportPluginBoxProtocol {
    Q_OBJECT

public:
    explicit OvPiktoExporterBox(QWidget* parent = nullptr);
    ~OvPiktoExporterBox() override;

    // The controller that owns the page (the outlet mPlugin); not owned.
    void setPlugin(OvPiktoExporter* plugin) { mPlugin = plugin; }
    OvPiktoExporter* plugin() const { return mPlugin; }

    // Whether the key was one of Return, Enter, line feed, form feed (then it is handled
    // here, acted upon or not); false for any other key or without a controller.
    bool performKeyEquivalent(QKeyEvent* event) override;
    // Escape while an export runs is swallowed (returns true); false otherwise.
    bool keyDown(QKeyEvent* event);
    bool keyUp(QKeyEvent* event);
    bool acceptsFirstResponder() const { return true; }

    // The first character of a key event as the keyboard rules see it: 3 for Enter,
    // 13 for Return, else the first UTF-16 unit of its text; 0 for none.
    static char16_t firstCharacter(const QKeyEvent* event);

protected:
    // Sees every key aimed at the page or a control inside it, before that control.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isInsidePage(QObject* object) const;
    // Handles a key press or release aimed at the page; true when it is used up.
    bool handleKey(QKeyEvent* event);

    OvPiktoExporter* mPlugin = nullptr;
};
