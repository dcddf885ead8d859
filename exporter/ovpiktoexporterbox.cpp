#include "ovpiktoexporterbox.h"

#include "ovpiktoexporter.h"

#include <QApplication>
#include <QKeyEvent>

namespace {
constexpr char16_t enterCharacter = 3;
constexpr char16_t lineFeedCharacter = 10;
constexpr char16_t formFeedCharacter = 12;
constexpr char16_t carriageReturnCharacter = 13;
} // namespace

OvPiktoExporterBox::OvPiktoExporterBox(QWidget* parent) : QFrame(parent) {
    setFocusPolicy(Qt::StrongFocus);
    // Key equivalents go to the page before the focused control, wherever it is inside.
    qApp->installEventFilter(this);
}

OvPiktoExporterBox::~OvPiktoExporterBox() = default;

char16_t OvPiktoExporterBox::firstCharacter(const QKeyEvent* event) {
    if (event->key() == Qt::Key_Enter)
        return enterCharacter;
    if (event->key() == Qt::Key_Return)
        return carriageReturnCharacter;
    const QString text = event->text();
    return text.isEmpty() ? char16_t(0) : text.at(0).unicode();
}

bool OvPiktoExporterBox::performKeyEquivalent(QKeyEvent* event) {
    const char16_t c = firstCharacter(event);
    if (!mPlugin || (c != enterCharacter && c != lineFeedCharacter && c != formFeedCharacter &&
                     c != carriageReturnCharacter))
        return false;
    if (mPlugin->activePluginTab() == 0)
        mPlugin->clickSignInButton();
    else if (!mPlugin->isExportStarted)
        mPlugin->startExport(QString());
    return true;
}

bool OvPiktoExporterBox::keyDown(QKeyEvent* event) {
    return event->key() == Qt::Key_Escape && mPlugin && mPlugin->isExportStarted;
}

bool OvPiktoExporterBox::keyUp(QKeyEvent* event) {
    return event->key() == Qt::Key_Escape && mPlugin && mPlugin->isExportStarted;
}

bool OvPiktoExporterBox::isInsidePage(QObject* object) const {
    if (!object->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(object);
    return widget == this || isAncestorOf(widget);
}

bool OvPiktoExporterBox::handleKey(QKeyEvent* event) {
    if (event->type() == QEvent::KeyPress)
        return performKeyEquivalent(event) || keyDown(event);
    return keyUp(event);
}

bool OvPiktoExporterBox::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        isInsidePage(watched) && handleKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}
