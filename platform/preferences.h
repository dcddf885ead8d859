#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

// The preferences file shared by the plug-in and the updater
// (~/Library/Preferences/com.ovrana.ru.iphotoexporter.plist). Every change reads the
// whole dictionary, changes its own keys and writes the whole dictionary back
// atomically, so keys written by others survive. Nothing is cached between calls.
class Preferences {
public:
    // The shared file under the current $HOME.
    Preferences();
    // Another property-list file (tests, other programs).
    explicit Preferences(QString path);

    // "~/Library/Preferences/com.ovrana.ru.iphotoexporter.plist" resolved under $HOME.
    static QString defaultPath();

    QString path() const { return m_path; }

    // The whole dictionary; empty when the file is missing or unreadable.
    QVariantMap read() const;
    // The stored value for `key`; an invalid QVariant when absent.
    QVariant value(const QString& key) const;
    // Stores `value` under `key` and writes the file. An invalid `value` removes the
    // key. An unreadable file is replaced by a new dictionary. Returns false when the
    // file cannot be written (the old file then stays as it was) or the value has no
    // property-list type.
    bool setValue(const QString& key, const QVariant& value);
    // Several keys in one read and one write; same rules and result as setValue.
    bool setValues(const QVariantMap& values);

private:
    QString m_path;
};
