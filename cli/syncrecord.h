#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct sqlite3;

// What `pikto sync` knows about one album of one login on one service: the contents it
// sent there and, per path, the size, modification time and content hash it last saw.
// One SQLite file per album (named after a hash of service origin, login and album; the
// three are stored inside too and checked on opening), mode 0600 in a folder of mode
// 0700. A writer holds an exclusive lock (flock on "<record>.lock") for as long as it has
// the record open, so two syncs of one album never send the same photo.
//
// Invariant: a content is in `sent` only once the service confirmed it; each confirmation
// is committed in its own transaction before the next photo goes.
class SyncRecord {
public:
    // Whose record it is.
    struct Key {
        QString origin;
        QString login;
        QString album;
    };
    // A file as last seen at a path.
    struct Seen {
        qint64 size = -1;
        qint64 mtimeNs = 0;
        QByteArray sha256; // hex
    };

    // `$XDG_STATE_HOME/pikto` when XDG_STATE_HOME is an absolute path, else
    // `$HOME/.local/state/pikto`.
    static QString folder();
    // The record's path in `folder`.
    static QString pathFor(const QString& folder, const Key& key);

    // Opens the record at `path` for `key`. For writing, takes the lock and creates the
    // file (atomically, schema included) when there is none; read-only (a dry run), takes
    // no lock and stands for an empty record when there is no file. Refuses, with the
    // reason in `error`: a record another run holds; a file that cannot be opened or read,
    // is not a record, fails SQLite's check or belongs to another key. A refused file is
    // never changed.
    static std::unique_ptr<SyncRecord> open(const QString& path, const Key& key, bool forWriting,
                                            QString* error);
    ~SyncRecord();
    SyncRecord(const SyncRecord&) = delete;
    SyncRecord& operator=(const SyncRecord&) = delete;

    const QString& path() const { return m_path; }
    // The content hash last seen at `path` when its size and modification time are still
    // those; empty otherwise.
    QByteArray knownHash(const QString& path, qint64 size, qint64 mtimeNs) const;
    // True when the content was sent to the album before.
    bool wasSent(const QByteArray& sha256) const { return m_sent.contains(sha256); }

    // Remembers what was seen at these paths, in one transaction. False (with `error`)
    // when it could not be written; the record stays as it was.
    bool remember(const QHash<QString, Seen>& seen, QString* error);
    // Records that the service confirmed the content seen at `path`, in its own
    // transaction. False (with `error`) when it could not be written.
    bool markSent(const QString& path, const Seen& seen, QString* error);

private:
    SyncRecord() = default;
    bool load(const Key& key, bool forWriting, QString* error);
    // Runs `work` in one transaction: committed when it returns true, else rolled back
    // with the reason in `error`.
    bool inTransaction(const std::function<bool()>& work, QString* error);
    QString lastError() const;

    QString m_path;
    sqlite3* m_db = nullptr;
    int m_lockFd = -1;
    QHash<QString, Seen> m_seen;
    QSet<QByteArray> m_sent;
};
