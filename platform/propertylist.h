#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// Property-list files (XML or binary) as Qt values: dictionaries become QVariantMap,
// arrays QVariantList, strings QString, integers qint64, reals double, booleans bool,
// dates QDateTime, data QByteArray.
class PropertyList {
public:
    // Reads a file whose root is a dictionary. Returns nothing when the file is
    // missing, unreadable, not a property list, or its root is not a dictionary.
    // Also reads the plain "key" = "value"; strings-file format.
    static std::optional<QVariantMap> readDictionary(const QString& path);
    // Parses bytes as above; nothing for anything else.
    static std::optional<QVariantMap> parseDictionary(const QByteArray& bytes);
    // Writes the dictionary as an XML property list through a temporary file renamed
    // over the target, so a reader never sees a half-written file. Returns false when
    // the folder cannot be written or a value has no property-list type.
    static bool writeDictionary(const QString& path, const QVariantMap& dictionary);
};
