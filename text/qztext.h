#pragma once

#include <QDomNode>
#include <QDomNodeList>
#include <QString>

// The helpers of QZUtils that need no user interface: localised texts by key, URL
// escaping, trimming and XML lookup. The service client and the uploader use them
// directly; QZUtils forwards to them for the widgets.
class QZText {
public:
    QZText() = delete;

    // The value for `key` in the plug-in bundle's localised information dictionary,
    // else in its plain Info.plist; a null string when neither has it (or the bundle
    // is not loaded).
    static QString infoValueForKey(const QString& key);
    // The same lookup in the application's main bundle (the updater's texts).
    static QString infoValueForKeyInMainBundle(const QString& key);

    // Escapes the characters ; / ? : @ & = + $ , [ ] # ! ' ( ) * as %XX, in that order;
    // every other character is kept.
    static QString encodeURL(const QString& text);

    // `text` without white space and line breaks at either end.
    static QString trimString(const QString& text);

    // The first node of `nodes` whose qualified name is exactly `name`, or a null node.
    static QDomNode findXMLElementInArray(const QDomNodeList& nodes, const QString& name);
    // Its index, or −1.
    static int findIndefOfXMLElementInArray(const QDomNodeList& nodes, const QString& name);

    // The identifier of the plug-in's bundle.
    static QString pluginBundleIdentifier();
};
