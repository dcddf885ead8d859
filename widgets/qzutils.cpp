#include "qzutils.h"

#include "bundle.h"
#include "qztext.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <optional>

namespace {

std::optional<Bundle> ownBundle() {
#ifdef OVPIKTO_UPDATER
    return Bundle::mainBundle();
#else
    return Bundle::withIdentifier(QZText::pluginBundleIdentifier());
#endif
}

void showAlert(const QString& message, const QString& title, const QString& iconID,
               const QStringList& buttons, QZUtils::AlertEnd onEnd) {
    QWidget* window = QApplication::activeWindow();
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setText(title);
    box->setInformativeText(message);
    if (!iconID.isEmpty()) {
        const QImage icon = QZUtils::loadPngImageFromResource(iconID);
        if (!icon.isNull())
            box->setIconPixmap(QPixmap::fromImage(icon));
    }
    QList<QPushButton*> added;
    for (const QString& text : buttons)
        added.append(box->addButton(text, QMessageBox::AcceptRole));
    box->setDefaultButton(added.first());
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [added, onEnd, window](QAbstractButton* clicked) {
                         const int index = added.indexOf(static_cast<QPushButton*>(clicked));
                         if (onEnd)
                             onEnd(QZUtils::alertFirstButtonReturn + qMax(index, 0), window);
                     });
    box->open();
}

} // namespace

QString QZUtils::infoValueForKey(const QString& key) {
    return QZText::infoValueForKey(key);
}

QString QZUtils::infoValueForKeyInMainBundle(const QString& key) {
    return QZText::infoValueForKeyInMainBundle(key);
}

QString QZUtils::encodeURL(const QString& text) {
    return QZText::encodeURL(text);
}

QString QZUtils::okButtonTitle() {
#ifdef OVPIKTO_UPDATER
    return QStringLiteral("Ок");
#else
    return QStringLiteral("ОK");
#endif
}

void QZUtils::showMessage(const QString& message, const QString& title, const QString& iconID,
                          AlertEnd onEnd) {
    showAlert(message, title, iconID, {okButtonTitle()}, std::move(onEnd));
}

void QZUtils::showMessage(const QString& message, const QString& title, const QString& iconID) {
    showMessage(message, title, iconID, nullptr);
}

void QZUtils::showMessage(const QString& message, const QString& title) {
    showMessage(message, title, QString(), nullptr);
}

void QZUtils::showMessage(const QString& message) {
    showMessage(message, QString(), QString(), nullptr);
}

void QZUtils::showYesCancelMessage(const QString& message, const QString& title,
                                   const QString& iconID, AlertEnd onEnd) {
    showAlert(message, title, iconID, {QStringLiteral("Да"), QStringLiteral("Отменить")},
              std::move(onEnd));
}

QFont QZUtils::createFontWithFontName(const QString& family, float size, const QString& face) {
    QFont font(family);
    font.setPointSizeF(size);
    font.setStyleName(face);
    if (face.compare(QLatin1String("Bold"), Qt::CaseInsensitive) == 0)
        font.setBold(true);
    return font;
}

QZUtils::ResourceName QZUtils::splitResourceName(const QString& name) {
    ResourceName parts;
    QString file = name;
    const qsizetype slash = name.lastIndexOf('/');
    if (slash >= 0) {
        parts.directory = name.left(slash);
        file = name.mid(slash + 1);
    }
    const qsizetype dot = file.lastIndexOf('.');
    if (dot >= 0) {
        parts.baseName = file.left(dot);
        parts.type = file.mid(dot + 1);
    } else {
        parts.baseName = file;
    }
    return parts;
}

QImage QZUtils::loadImageFromResource(const QString& name) {
    if (name.isEmpty())
        return {};
    const auto bundle = ownBundle();
    if (!bundle)
        return {};
    const ResourceName parts = splitResourceName(name);
    const QString path = bundle->pathForResource(parts.baseName, parts.type, parts.directory);
    if (path.isNull())
        return {};
    return QImage(path);
}

QImage QZUtils::loadPngImageFromResource(const QString& name) {
    return loadImageFromResource(name);
}

QImage QZUtils::loadJpgImageFromResource(const QString& name) {
    QImage image = loadImageFromResource(name);
    if (!image.isNull())
        image.setText(QStringLiteral("flipped"), QStringLiteral("1"));
    return image;
}

QString QZUtils::trimString(const QString& text) {
    return QZText::trimString(text);
}

QDomNode QZUtils::findXMLElementInArray(const QDomNodeList& nodes, const QString& name) {
    return QZText::findXMLElementInArray(nodes, name);
}

int QZUtils::findIndefOfXMLElementInArray(const QDomNodeList& nodes, const QString& name) {
    return QZText::findIndefOfXMLElementInArray(nodes, name);
}
