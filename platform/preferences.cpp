#include "preferences.h"

#include "paths.h"
#include "propertylist.h"

Preferences::Preferences() : m_path(defaultPath()) {}

Preferences::Preferences(QString path) : m_path(std::move(path)) {}

QString Preferences::defaultPath() {
    return Paths::resolve(
        QStringLiteral("~/Library/Preferences/com.ovrana.ru.iphotoexporter.plist"));
}

QVariantMap Preferences::read() const {
    return PropertyList::readDictionary(m_path).value_or(QVariantMap());
}

QVariant Preferences::value(const QString& key) const {
    return read().value(key);
}

bool Preferences::setValue(const QString& key, const QVariant& value) {
    return setValues({{key, value}});
}

bool Preferences::setValues(const QVariantMap& values) {
    QVariantMap dictionary = read();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.value().isValid())
            dictionary.insert(it.key(), it.value());
        else
            dictionary.remove(it.key());
    }
    return PropertyList::writeDictionary(m_path, dictionary);
}
