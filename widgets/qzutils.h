#pragma once

#include <QDomNode>
#include <QDomNodeList>
#include <QFont>
#include <QImage>
#include <QString>

#include <functional>

class QWidget;

// Stateless helpers shared by the plug-in and the updater: localised texts, URL
// escaping, alerts, fonts, images from the bundle's resources, trimming, XML lookup.
// The helpers without user interface live in QZText (text/); the ones here forward.
// The updater links its own build of this class (OVPIKTO_UPDATER), which reads its
// texts and images from its application bundle and titles its OK button "Ок".
class QZUtils {
public:
    QZUtils() = delete;

    // Called when an alert ends: the button's code (1000 first, 1001 second) and the
    // window the alert was attached to (may be null).
    using AlertEnd = std::function<void(int returnCode, QWidget* contextWindow)>;

    static constexpr int alertFirstButtonReturn = 1000;
    static constexpr int alertSecondButtonReturn = 1001;

    // The value for `key` in the plug-in bundle's localised information dictionary,
    // else in its plain Info.plist; a null string when neither has it (or the bundle
    // is not loaded).
    static QString infoValueForKey(const QString& key);
    // The same lookup in the application's main bundle (the updater's texts).
    static QString infoValueForKeyInMainBundle(const QString& key);

    // Escapes the characters ; / ? : @ & = + $ , [ ] # ! ' ( ) * as %XX, in that order;
    // every other character is kept.
    static QString encodeURL(const QString& text);

    // Window-modal alerts on the application's active window (application-modal when
    // there is none). `iconID` names a PNG resource; `onEnd` may be empty.
    static void showMessage(const QString& message, const QString& title, const QString& iconID,
                            AlertEnd onEnd);
    static void showMessage(const QString& message, const QString& title, const QString& iconID);
    static void showMessage(const QString& message, const QString& title);
    static void showMessage(const QString& message);
    // Buttons "Да" (1000) and "Отменить" (1001).
    static void showYesCancelMessage(const QString& message, const QString& title,
                                     const QString& iconID, AlertEnd onEnd);
    // The OK button's title: "ОK" (Cyrillic О, Latin K) in the plug-in, "Ок" in the updater.
    static QString okButtonTitle();

    // The font of `family` in `face` ("Regular", "Bold", ...) at `size` points.
    static QFont createFontWithFontName(const QString& family, float size, const QString& face);

    // The image of resource `name` ("dir/base.type") in this deliverable's bundle; a
    // null image for an empty name or a resource that does not exist or does not load.
    static QImage loadImageFromResource(const QString& name);
    static QImage loadPngImageFromResource(const QString& name);
    // As above, marked as drawn with a downward vertical axis (text key "flipped").
    static QImage loadJpgImageFromResource(const QString& name);
    // Where the loader looks: base name, type and directory split off `name`.
    struct ResourceName {
        QString baseName;
        QString type;
        QString directory;
    };
    static ResourceName splitResourceName(const QString& name);

    // `text` without white space and line breaks at either end.
    static QString trimString(const QString& text);

    // The first node of `nodes` whose qualified name is exactly `name`, or a null node.
    static QDomNode findXMLElementInArray(const QDomNodeList& nodes, const QString& name);
    // Its index, or −1.
    static int findIndefOfXMLElementInArray(const QDomNodeList& nodes, const QString& name);
};
