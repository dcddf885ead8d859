#include "propertylist.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace {

using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, decltype(&plist_free)>;

// Seconds between the Unix epoch and the property-list epoch, 2001-01-01.
constexpr qint64 plistEpochOffset = 978307200;

QVariant toVariant(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return bool(value);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return qint64(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_STRING: {
        char* value = nullptr;
        plist_get_string_val(node, &value);
        QString text = QString::fromUtf8(value);
        free(value);
        return text;
    }
    case PLIST_DATA: {
        char* value = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &value, &length);
        QByteArray bytes(value, qsizetype(length));
        free(value);
        return bytes;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch((qint64(sec) + plistEpochOffset) * 1000 + usec / 1000,
                                              Qt::UTC);
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t size = plist_array_get_size(node);
        for (uint32_t i = 0; i < size; ++i)
            list.append(toVariant(plist_array_get_item(node, i)));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!key)
                break;
            map.insert(QString::fromUtf8(key), toVariant(value));
            free(key);
        }
        free(iter);
        return map;
    }
    default:
        return {};
    }
}

plist_t fromVariant(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - plistEpochOffset * 1000;
        return plist_new_date(int32_t(ms / 1000), int32_t((ms % 1000) * 1000));
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList()) {
            plist_t node = fromVariant(item);
            if (!node) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, node);
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        plist_t dict = plist_new_dict();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            plist_t node = fromVariant(it.value());
            if (!node) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), node);
        }
        return dict;
    }
    default:
        return nullptr;
    }
}

// The old "key" = "value"; format of .strings files, with /* */ and // comments.
std::optional<QVariantMap> parseStringsFile(const QString& text) {
    QVariantMap map;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlank = [&] {
        for (;;) {
            while (i < n && text[i].isSpace())
                ++i;
            if (text.mid(i, 2) == QLatin1String("/*")) {
                const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
                i = end < 0 ? n : end + 2;
            } else if (text.mid(i, 2) == QLatin1String("//")) {
                const qsizetype end = text.indexOf('\n', i);
                i = end < 0 ? n : end + 1;
            } else {
                return;
            }
        }
    };
    auto quoted = [&]() -> std::optional<QString> {
        if (i >= n || text[i] != '"')
            return std::nullopt;
        QString out;
        for (++i; i < n; ++i) {
            const QChar c = text[i];
            if (c == '"') {
                ++i;
                return out;
            }
            if (c == '\\' && i + 1 < n) {
                const QChar e = text[++i];
                out += e == 'n' ? QChar('\n') : e == 't' ? QChar('\t') : e;
            } else {
                out += c;
            }
        }
        return std::nullopt;
    };
    for (;;) {
        skipBlank();
        if (i >= n)
            return map;
        const auto key = quoted();
        skipBlank();
        if (!key || i >= n || text[i] != '=')
            return std::nullopt;
        ++i;
        skipBlank();
        const auto value = quoted();
        skipBlank();
        if (!value || i >= n || text[i] != ';')
            return std::nullopt;
        ++i;
        map.insert(*key, *value);
    }
}

} // namespace

std::optional<QVariantMap> PropertyList::parseDictionary(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return std::nullopt;
    plist_t root = nullptr;
    const bool looksLikePlist = plist_is_binary(bytes.constData(), uint32_t(bytes.size())) ||
                                bytes.trimmed().startsWith("<?xml") ||
                                bytes.trimmed().startsWith("<plist");
    if (looksLikePlist)
        plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    if (root) {
        PlistPtr owner(root, &plist_free);
        if (plist_get_node_type(root) != PLIST_DICT)
            return std::nullopt;
        return toVariant(root).toMap();
    }
    if (looksLikePlist)
        return std::nullopt;
    // A strings file: UTF-16 with a byte-order mark, or UTF-8.
    QString text;
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff")) {
        auto decoder = QStringDecoder(QStringDecoder::Utf16);
        text = decoder(bytes);
    } else {
        text = QString::fromUtf8(bytes);
    }
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    return parseStringsFile(text);
}

std::optional<QVariantMap> PropertyList::readDictionary(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseDictionary(file.readAll());
}

bool PropertyList::writeDictionary(const QString& path, const QVariantMap& dictionary) {
    plist_t root = fromVariant(dictionary);
    if (!root)
        return false;
    PlistPtr owner(root, &plist_free);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    if (!xml)
        return false;
    const QByteArray bytes(xml, qsizetype(length));
    plist_to_xml_free(xml);

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
