#include "qztext.h"

#include "bundle.h"
#include "log.h"

#include <optional>

namespace {

QString lookUp(const std::optional<Bundle>& bundle, const QString& key) {
    Log::write(
        QStringLiteral("%1: %2").arg(QStringLiteral("infoValueForKey"), QStringLiteral("Entered")));
    Log::write(QStringLiteral("%1: %2").arg(QStringLiteral("infoValueForKey"),
                                            QStringLiteral("Exited OK")));
    if (!bundle)
        return {};
    const QVariantMap localized = bundle->localizedInfoDictionary();
    if (localized.contains(key))
        return localized.value(key).toString();
    const QVariantMap plain = bundle->infoDictionary();
    if (plain.contains(key))
        return plain.value(key).toString();
    return {};
}

} // namespace

QString QZText::pluginBundleIdentifier() {
    return QStringLiteral("com.ovrana.iphoto.exporter");
}

QString QZText::infoValueForKey(const QString& key) {
    return lookUp(Bundle::withIdentifier(pluginBundleIdentifier()), key);
}

QString QZText::infoValueForKeyInMainBundle(const QString& key) {
    return lookUp(Bundle::mainBundle(), key);
}

QString QZText::encodeURL(const QString& text) {
    static const std::pair<QChar, QLatin1String> escapes[] = {
        {';', QLatin1String("%3B")}, {'/', QLatin1String("%2F")}, {'?', QLatin1String("%3F")},
        {':', QLatin1String("%3A")}, {'@', QLatin1String("%40")}, {'&', QLatin1String("%26")},
        {'=', QLatin1String("%3D")}, {'+', QLatin1String("%2B")}, {'$', QLatin1String("%24")},
        {',', QLatin1String("%2C")}, {'[', QLatin1String("%5B")}, {']', QLatin1String("%5D")},
        {'#', QLatin1String("%23")}, {'!', QLatin1String("%21")}, {'\'', QLatin1String("%27")},
        {'(', QLatin1String("%28")}, {')', QLatin1String("%29")}, {'*', QLatin1String("%2A")},
    };
    QString result = text;
    for (const auto& [character, escape] : escapes)
        result.replace(character, escape);
    return result;
}

QString QZText::trimString(const QString& text) {
    return text.trimmed();
}

QDomNode QZText::findXMLElementInArray(const QDomNodeList& nodes, const QString& name) {
    const int index = findIndefOfXMLElementInArray(nodes, name);
    return index < 0 ? QDomNode() : nodes.at(index);
}

int QZText::findIndefOfXMLElementInArray(const QDomNodeList& nodes, const QString& name) {
    for (int i = 0; i < nodes.size(); ++i) {
        if (nodes.at(i).nodeName() == name)
            return i;
    }
    return -1;
}
