#include "interfacetexts.h"

#include "bundle.h"
#include "qztext.h"

#include <QAbstractButton>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <utility>

namespace {

QVariantMap pluginStrings() {
    const std::optional<Bundle> bundle = Bundle::withIdentifier(QZText::pluginBundleIdentifier());
    return bundle ? bundle->localizedInfoDictionary() : QVariantMap();
}

// Sets the one text a widget of this kind shows; false when it shows none.
bool setWidgetText(QWidget* widget, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
        return true;
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
        return true;
    }
    if (widget->isWindow() || qobject_cast<QDialog*>(widget)) {
        widget->setWindowTitle(text);
        return true;
    }
    return false;
}

} // namespace

InterfaceTexts::InterfaceTexts() : m_strings(pluginStrings()) {}

InterfaceTexts::InterfaceTexts(QVariantMap strings) : m_strings(std::move(strings)) {}

QString InterfaceTexts::keyFor(const QString& objectName) {
    return QStringLiteral("OPUI.") + objectName;
}

int InterfaceTexts::apply(QWidget* root) const {
    if (!root || m_strings.isEmpty())
        return 0;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    int replaced = 0;
    for (QWidget* widget : std::as_const(widgets)) {
        if (widget->objectName().isEmpty())
            continue;
        const auto found = m_strings.constFind(keyFor(widget->objectName()));
        if (found == m_strings.constEnd())
            continue;
        if (setWidgetText(widget, found->toString()))
            ++replaced;
    }
    return replaced;
}
