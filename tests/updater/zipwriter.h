#pragma once

#include <QByteArray>
#include <QList>

// Builds zip archives byte by byte (stored entries), so tests can make archives that
// ordinary tools refuse to write: entries with "..", links, damaged data.
class ZipWriter {
public:
    // Adds a regular file (mode 0644, or 0755 when `executable`).
    void addFile(const QByteArray& name, const QByteArray& bytes, bool executable = false);
    // Adds a regular file marked as text, which unzip -a would convert.
    void addTextFile(const QByteArray& name, const QByteArray& bytes);
    // Adds a symbolic link whose target is `target`.
    void addLink(const QByteArray& name, const QByteArray& target);
    // The whole archive.
    QByteArray bytes() const;

    static quint32 crc32(const QByteArray& bytes);

private:
    struct Entry {
        QByteArray name;
        QByteArray data;
        quint32 mode;
        bool text = false;
    };
    QList<Entry> m_entries;
};
