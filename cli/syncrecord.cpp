#include "syncrecord.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Raised when the tables change in a way an older pikto could not read.
const QString formatVersion = QStringLiteral("1");

const char* const schema = "CREATE TABLE record(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
                           "CREATE TABLE sent(sha256 TEXT PRIMARY KEY, size INTEGER NOT NULL,"
                           " mtime_ns INTEGER NOT NULL, path TEXT NOT NULL, sent_at TEXT NOT NULL);"
                           "CREATE TABLE seen(path TEXT PRIMARY KEY, size INTEGER NOT NULL,"
                           " mtime_ns INTEGER NOT NULL, sha256 TEXT NOT NULL);";

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// The statement, or null when `sql` does not prepare (the reason is the database's).
Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    return Statement(statement, &sqlite3_finalize);
}

void bind(sqlite3_stmt* statement, int index, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(statement, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

QString column(sqlite3_stmt* statement, int index) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, index)),
                             sqlite3_column_bytes(statement, index));
}

// Runs one statement with the values bound in order; false when it fails.
bool run(sqlite3* db, const char* sql, const QList<QVariant>& values) {
    const Statement statement = prepare(db, sql);
    if (!statement)
        return false;
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].typeId() == QMetaType::QString)
            bind(statement.get(), i + 1, values[i].toString());
        else
            sqlite3_bind_int64(statement.get(), i + 1, values[i].toLongLong());
    }
    return sqlite3_step(statement.get()) == SQLITE_DONE;
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Makes an empty record for `key` at `path` beside it first and renames it into place,
// so that no half-made record is ever seen. The caller holds the lock.
bool create(const QString& path, const SyncRecord::Key& key, QString* error) {
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".new"));
    ::unlink(temporary.constData()); // left by a run stopped while creating
    ::unlink((temporary + "-journal").constData());
    const int fd =
        ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot create the record %1: %2").arg(path, systemError(errno));
        return false;
    }
    ::close(fd);
    sqlite3* db = nullptr;
    bool made =
        sqlite3_open_v2(temporary.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        // A commit in write-ahead mode costs one flush to disk rather than four.
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, schema, nullptr, nullptr, nullptr) == SQLITE_OK;
    const char* insert = "INSERT INTO record VALUES(?, ?)";
    made = made && run(db, insert, {QStringLiteral("format"), formatVersion}) &&
           run(db, insert, {QStringLiteral("origin"), key.origin}) &&
           run(db, insert, {QStringLiteral("login"), key.login}) &&
           run(db, insert, {QStringLiteral("album"), key.album}) &&
           sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
    made = sqlite3_close(db) == SQLITE_OK && made;
    if (!made || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("cannot create the record %1: %2")
                     .arg(path, made ? systemError(errno) : reason);
        ::unlink(temporary.constData());
        return false;
    }
    // The rename itself must survive a crash too.
    if (const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

QString SyncRecord::folder() {
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (QDir::isAbsolutePath(state))
        return QDir(state).filePath(QStringLiteral("pikto"));
    return QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral(".local/state/pikto"));
}

QString SyncRecord::pathFor(const QString& folder, const Key& key) {
    // Login and album come from the command line: they name no path themselves.
    const QByteArray hash = QCryptographicHash::hash(
        (key.origin + QLatin1Char('\n') + key.login + QLatin1Char('\n') + key.album).toUtf8(),
        QCryptographicHash::Sha256);
    return QDir(folder).filePath(
        QStringLiteral("album-%1.sqlite").arg(QString::fromLatin1(hash.toHex().left(32))));
}

std::unique_ptr<SyncRecord> SyncRecord::open(const QString& path, const Key& key, bool forWriting,
                                             QString* error) {
    error->clear();
    std::unique_ptr<SyncRecord> record(new SyncRecord);
    record->m_path = path;
    const QByteArray file = QFile::encodeName(path);
    if (forWriting) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder) || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0) {
            *error =
                QStringLiteral("cannot make the folder %1: %2").arg(folder, systemError(errno));
            return nullptr;
        }
        record->m_lockFd =
            ::open((file + ".lock").constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (record->m_lockFd < 0) {
            *error = QStringLiteral("cannot open %1.lock: %2").arg(path, systemError(errno));
            return nullptr;
        }
        if (::flock(record->m_lockFd, LOCK_EX | LOCK_NB) != 0) {
            *error = errno == EWOULDBLOCK
                         ? QStringLiteral("another pikto sync of this album is running (it holds "
                                          "%1.lock); try again once it has finished")
                               .arg(path)
                         : QStringLiteral("cannot lock %1.lock: %2").arg(path, systemError(errno));
            return nullptr;
        }
    }

    struct stat status {};
    if (::lstat(file.constData(), &status) != 0) {
        if (errno != ENOENT) {
            *error = QStringLiteral("cannot read the record %1: %2").arg(path, systemError(errno));
            return nullptr;
        }
        if (!forWriting)
            return record;
        if (!create(path, key, error))
            return nullptr;
    } else if (!S_ISREG(status.st_mode)) {
        *error = QStringLiteral("it is not a file");
    }
    if (!error->isEmpty() ||
        sqlite3_open_v2(file.constData(), &record->m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK ||
        !record->load(key, forWriting, error)) {
        if (error->isEmpty())
            *error = record->lastError();
        *error = QStringLiteral("cannot use the record %1: %2. It is left as it is; moved away, "
                                "the next sync starts afresh and sends every photo again")
                     .arg(path, *error);
        return nullptr;
    }
    return record;
}

SyncRecord::~SyncRecord() {
    // The database goes first: closing the lock's descriptor never touches its locks, and
    // no other run may write before it is closed.
    sqlite3_close(m_db);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SyncRecord::lastError() const {
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
}

bool SyncRecord::inTransaction(const std::function<bool()>& work, QString* error) {
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK && work() &&
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    *error = QStringLiteral("cannot write the record %1: %2").arg(m_path, lastError());
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool SyncRecord::load(const Key& key, bool forWriting, QString* error) {
    sqlite3_busy_timeout(m_db, 5000);
    // Found only at the first write, this would stop a run after a photo went unrecorded.
    if (forWriting && sqlite3_db_readonly(m_db, "main") == 1) {
        *error = QStringLiteral("it cannot be written");
        return false;
    }
    // Reading a damaged page could give rows that are not there: the whole file is checked
    // before anything in it is believed.
    {
        const Statement check = prepare(m_db, "PRAGMA quick_check");
        if (!check)
            return false;
        if (sqlite3_step(check.get()) != SQLITE_ROW)
            return false;
        if (const QString verdict = column(check.get(), 0); verdict != QLatin1String("ok")) {
            *error = QStringLiteral("SQLite finds it damaged (%1)").arg(verdict);
            return false;
        }
    }
    const Statement names = prepare(m_db, "SELECT name, value FROM record");
    if (!names) {
        *error = QStringLiteral("it is not a record of pikto sync (%1)").arg(lastError());
        return false;
    }
    QHash<QString, QString> values;
    while (sqlite3_step(names.get()) == SQLITE_ROW)
        values.insert(column(names.get(), 0), column(names.get(), 1));
    if (values.value(QStringLiteral("format")) != formatVersion) {
        *error = QStringLiteral("it is not a record of this pikto (format %1)")
                     .arg(values.value(QStringLiteral("format")));
        return false;
    }
    if (values.value(QStringLiteral("origin")) != key.origin ||
        values.value(QStringLiteral("login")) != key.login ||
        values.value(QStringLiteral("album")) != key.album) {
        *error =
            QStringLiteral("it is the record of album %1 of %2 at %3")
                .arg(values.value(QStringLiteral("album")), values.value(QStringLiteral("login")),
                     values.value(QStringLiteral("origin")));
        return false;
    }

    // Each confirmation is on disk before the next photo goes.
    if (sqlite3_exec(m_db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    const Statement seen = prepare(m_db, "SELECT path, size, mtime_ns, sha256 FROM seen");
    const Statement sent = prepare(m_db, "SELECT sha256 FROM sent");
    if (!seen || !sent)
        return false;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(seen.get())) == SQLITE_ROW)
        m_seen.insert(column(seen.get(), 0),
                      {sqlite3_column_int64(seen.get(), 1), sqlite3_column_int64(seen.get(), 2),
                       column(seen.get(), 3).toLatin1()});
    if (step != SQLITE_DONE)
        return false;
    while ((step = sqlite3_step(sent.get())) == SQLITE_ROW)
        m_sent.insert(column(sent.get(), 0).toLatin1());
    return step == SQLITE_DONE;
}

QByteArray SyncRecord::knownHash(const QString& path, qint64 size, qint64 mtimeNs) const {
    const auto found = m_seen.constFind(path);
    if (found == m_seen.constEnd() || found->size != size || found->mtimeNs != mtimeNs)
        return {};
    return found->sha256;
}

bool SyncRecord::remember(const QHash<QString, Seen>& seen, QString* error) {
    if (seen.isEmpty())
        return true;
    const bool written = inTransaction(
        [&] {
            for (auto it = seen.constBegin(); it != seen.constEnd(); ++it) {
                if (!run(m_db, "INSERT OR REPLACE INTO seen VALUES(?, ?, ?, ?)",
                         {it.key(), it->size, it->mtimeNs, QString::fromLatin1(it->sha256)}))
                    return false;
            }
            return true;
        },
        error);
    if (written)
        m_seen.insert(seen);
    return written;
}

bool SyncRecord::markSent(const QString& path, const Seen& seen, QString* error) {
    const QString sha = QString::fromLatin1(seen.sha256);
    const bool written = inTransaction(
        [&] {
            return run(m_db, "INSERT OR REPLACE INTO sent VALUES(?, ?, ?, ?, ?)",
                       {sha, seen.size, seen.mtimeNs, path,
                        QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}) &&
                   run(m_db, "INSERT OR REPLACE INTO seen VALUES(?, ?, ?, ?)",
                       {path, seen.size, seen.mtimeNs, sha});
        },
        error);
    if (written) {
        m_sent.insert(seen.sha256);
        m_seen.insert(path, seen);
    }
    return written;
}
