#include "zipwriter.h"

namespace {
void put16(QByteArray& out, quint32 value) {
    out.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
}
void put32(QByteArray& out, quint32 value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}
} // namespace

quint32 ZipWriter::crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffff;
    for (const char c : bytes) {
        crc ^= uchar(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

void ZipWriter::addFile(const QByteArray& name, const QByteArray& bytes, bool executable) {
    m_entries.append({name, bytes, executable ? 0100755u : 0100644u});
}

void ZipWriter::addTextFile(const QByteArray& name, const QByteArray& bytes) {
    m_entries.append({name, bytes, 0100644u, true});
}

void ZipWriter::addLink(const QByteArray& name, const QByteArray& target) {
    m_entries.append({name, target, 0120777u});
}

QByteArray ZipWriter::bytes() const {
    QByteArray out;
    QByteArray directory;
    for (const Entry& entry : m_entries) {
        const quint32 offset = quint32(out.size());
        const quint32 crc = crc32(entry.data);
        // Local header: version 1.0, UTF-8 names, stored.
        put32(out, 0x04034b50);
        put16(out, 10);
        put16(out, 0x0800);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0x21);
        put32(out, crc);
        put32(out, quint32(entry.data.size()));
        put32(out, quint32(entry.data.size()));
        put16(out, quint32(entry.name.size()));
        put16(out, 0);
        out.append(entry.name).append(entry.data);

        put32(directory, 0x02014b50);
        put16(directory, 0x031e); // made on Unix, so the mode counts
        put16(directory, 10);
        put16(directory, 0x0800);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0x21);
        put32(directory, crc);
        put32(directory, quint32(entry.data.size()));
        put32(directory, quint32(entry.data.size()));
        put16(directory, quint32(entry.name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, entry.text ? 1 : 0); // internal attributes: text
        put32(directory, entry.mode << 16);
        put32(directory, offset);
        directory.append(entry.name);
    }
    const quint32 directoryOffset = quint32(out.size());
    out.append(directory);
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, quint32(m_entries.size()));
    put16(out, quint32(m_entries.size()));
    put32(out, quint32(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}
