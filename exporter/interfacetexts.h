#pragma once

#include <QString>
#include <QVariantMap>

class QWidget;

// Localises the static texts of a page or sheet built from an interface file. The
// interface files keep the Russian texts as the default; the bundle's localised
// strings may replace each one under the key "OPUI.<objectName>" of its widget.
class InterfaceTexts {
public:
    // Reads the plug-in bundle's localised strings; none when the bundle is not loaded.
    InterfaceTexts();
    // Uses `strings` in place of the bundle's (for callers that already hold them).
    explicit InterfaceTexts(QVariantMap strings);

    // The key under which the text of the widget named `objectName` is looked up.
    static QString keyFor(const QString& objectName);

    // Replaces the text of `root` and of every named descendant whose key is present:
    // the text of labels and buttons, the title of group boxes and the window title of
    // windows and dialogs. Widgets without a name or a key keep their text. Returns the
    // number of texts replaced.
    int apply(QWidget* root) const;

private:
    QVariantMap m_strings;
};
