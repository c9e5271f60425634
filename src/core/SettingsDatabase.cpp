#include "core/SettingsDatabase.h"

#include "core/PrivateFiles.h"
#include "core/SettingsError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int BusyTimeoutMs = 10000;

QMutex& noticeMutex()
{
    static QMutex mutex;
    return mutex;
}

QString& damagedNotice()
{
    static QString notice;
    return notice;
}

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// SQLite's own text says little ("SQL logic error", "unable to open database file");
// the system's error, where there is one, says what is wrong with the file.
QString causeText(sqlite3* db, int code)
{
    const int systemError = db ? sqlite3_system_errno(db) : 0;
    if (systemError != 0)
        return qt_error_string(systemError);
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

// One open connection per thread, reopened when the path or the file behind it
// changes (a test switching homes, a file set aside). Holding the connection open
// caches no values: every statement reads the file's current state.
class Connection
{
public:
    ~Connection() { close(); }

    sqlite3* get()
    {
        const QString path = SettingsDatabase::defaultPath();
        struct stat info
        {};
        const bool exists = ::stat(QFile::encodeName(path).constData(), &info) == 0;
        if (m_db &&
            (path != m_path || !exists || info.st_ino != m_inode || info.st_dev != m_device))
            close();
        if (!m_db)
            open(path);
        return m_db;
    }

    // Called when a statement reports a damaged file: set it aside and start afresh.
    void recoverFromDamage()
    {
        const QString path = m_path;
        close();
        setAside(path);
        open(path);
    }

    // Closed now rather than when the thread ends; the next use opens it again.
    void release() { close(); }

    // Why the file could not be opened at the last attempt; empty while it is open.
    const QString& openError() const { return m_openError; }

private:
    void open(const QString& path)
    {
        PrivateFiles::makePrivateFolder(QFileInfo(path).absolutePath());
        const QByteArray encoded = QFile::encodeName(path);
        // The file is never opened outside SQLite: closing any descriptor of it drops
        // every POSIX lock the process holds on it, those of the other threads'
        // connections too, and another process could then take itself for the last
        // user and delete the journal still in use here.
        int rc = tryOpen(encoded);
        if (isDamage(rc)) {
            setAside(path);
            rc = tryOpen(encoded);
        }
        if (rc != SQLITE_OK) {
            m_openError = causeText(m_db, rc);
            close();
            return;
        }
        m_openError.clear();
        struct stat info
        {};
        if (::stat(encoded.constData(), &info) == 0) {
            m_inode = info.st_ino;
            m_device = info.st_dev;
        }
        m_path = path;
    }

    int tryOpen(const QByteArray& encoded)
    {
        close();
        int rc = sqlite3_open_v2(encoded.constData(), &m_db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK)
            return rc;
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, BusyTimeoutMs);
        // Private to the user before anything is written; the journal files SQLite
        // makes take the database file's permissions.
        ::chmod(encoded.constData(), 0600);
        rc = sqlite3_exec(m_db,
                          // With the WAL journal, NORMAL keeps the file consistent
                          // through a power cut and saves a sync per write; at worst
                          // the last writes before the cut are lost.
                          "PRAGMA journal_mode=WAL;"
                          "PRAGMA synchronous=NORMAL;"
                          "CREATE TABLE IF NOT EXISTS registry_values ("
                          " key_path TEXT NOT NULL COLLATE NOCASE,"
                          " name TEXT NOT NULL COLLATE NOCASE,"
                          " type INTEGER NOT NULL,"
                          " data BLOB NOT NULL,"
                          " PRIMARY KEY (key_path, name));",
                          nullptr, nullptr, nullptr);
        return rc;
    }

    void close()
    {
        if (m_db)
            sqlite3_close_v2(m_db);
        m_db = nullptr;
        m_path.clear();
    }

    static void setAside(const QString& path)
    {
        const QString stamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        QString target = path + QStringLiteral(".damaged-") + stamp;
        for (int n = 2; QFileInfo::exists(target); ++n)
            target =
                path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
        if (!QFile::rename(path, target))
            return;
        // The journal files belong to the damaged database; move them along with it.
        for (const char* suffix : {"-wal", "-shm"}) {
            const QString side = path + QLatin1String(suffix);
            if (QFileInfo::exists(side))
                QFile::rename(side, target + QLatin1String(suffix));
        }
        QMutexLocker lock(&noticeMutex());
        damagedNotice() =
            QCoreApplication::translate(
                "SettingsDatabase", "The settings file %1 was damaged. It has been kept as %2 and "
                                    "a new settings file was started.")
                .arg(path, target);
    }

    sqlite3* m_db = nullptr;
    QString m_path;
    QString m_openError;
    ino_t m_inode = 0;
    dev_t m_device = 0;
};

Connection& connection()
{
    thread_local Connection perThread;
    return perThread;
}

class Statement
{
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (db)
            m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_stmt != nullptr && m_rc == SQLITE_OK; }
    int prepareCode() const { return m_rc; }
    sqlite3_stmt* get() const { return m_stmt; }

    void bindText(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    void bindBlob(int index, const QByteArray& bytes)
    {
        // A zero-length blob is still a blob, not NULL.
        sqlite3_bind_blob(m_stmt, index, bytes.constData() ? bytes.constData() : "",
                          static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

// Runs one statement, setting a damaged file aside and trying once more.
template <typename Body> auto withRecovery(Body body)
{
    auto result = body(connection().get());
    if (isDamage(result.code)) {
        connection().recoverFromDamage();
        result = body(connection().get());
    }
    return result;
}

struct ReadResult
{
    int code = SQLITE_ERROR;
    std::optional<SettingsDatabase::Value> value;
};

struct WriteResult
{
    int code = SQLITE_ERROR;
    int changes = 0;
    // Why it failed, taken while the connection still holds the error.
    QString cause;

    WriteResult& failed(sqlite3* db, int failure)
    {
        code = failure;
        cause = db ? causeText(db, failure) : connection().openError();
        return *this;
    }
};

} // namespace

void SettingsDatabase::closeThisThreadsConnection()
{
    connection().release();
}

QString SettingsDatabase::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Orrery/registry.sqlite3");
}

std::optional<SettingsDatabase::Value> SettingsDatabase::read(const QString& keyPath,
                                                              const QString& name)
{
    const ReadResult result = withRecovery([&](sqlite3* db) {
        ReadResult r;
        Statement stmt(db,
                       "SELECT type, data FROM registry_values WHERE key_path = ?1 AND name = ?2");
        if (!stmt.ok()) {
            r.code = stmt.prepareCode();
            return r;
        }
        stmt.bindText(1, keyPath);
        stmt.bindText(2, name);
        r.code = sqlite3_step(stmt.get());
        if (r.code == SQLITE_ROW) {
            const auto type = static_cast<ValueType>(sqlite3_column_int(stmt.get(), 0));
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt.get(), 1));
            const int size = sqlite3_column_bytes(stmt.get(), 1);
            r.value = Value{type, QByteArray(bytes, size)};
            r.code = SQLITE_OK;
        }
        return r;
    });
    return result.value;
}

void SettingsDatabase::write(const QString& keyPath, const QString& name, const Value& value)
{
    const WriteResult result = withRecovery([&](sqlite3* db) {
        WriteResult r;
        Statement stmt(db, "INSERT INTO registry_values (key_path, name, type, data) "
                           "VALUES (?1, ?2, ?3, ?4) ON CONFLICT (key_path, name) "
                           "DO UPDATE SET type = excluded.type, data = excluded.data");
        if (!stmt.ok())
            return r.failed(db, stmt.prepareCode());
        stmt.bindText(1, keyPath);
        stmt.bindText(2, name);
        sqlite3_bind_int(stmt.get(), 3, static_cast<int>(value.type));
        stmt.bindBlob(4, value.data);
        const int rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_DONE)
            return r.failed(db, rc);
        r.code = SQLITE_OK;
        return r;
    });
    if (result.code != SQLITE_OK) {
        throw SettingsError(QCoreApplication::translate("SettingsDatabase",
                                                        "Unable to store the setting %1 in %2: %3")
                                .arg(name, defaultPath(), result.cause));
    }
}

bool SettingsDatabase::remove(const QString& keyPath, const QString& name)
{
    const WriteResult result = withRecovery([&](sqlite3* db) {
        WriteResult r;
        Statement stmt(db, "DELETE FROM registry_values WHERE key_path = ?1 AND name = ?2");
        if (!stmt.ok())
            return r.failed(db, stmt.prepareCode());
        stmt.bindText(1, keyPath);
        stmt.bindText(2, name);
        const int rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_DONE)
            return r.failed(db, rc);
        r.code = SQLITE_OK;
        r.changes = sqlite3_changes(db);
        return r;
    });
    if (result.code != SQLITE_OK) {
        throw SettingsError(QCoreApplication::translate(
                                "SettingsDatabase", "Unable to remove the setting %1 from %2: %3")
                                .arg(name, defaultPath(), result.cause));
    }
    return result.changes > 0;
}

QString SettingsDatabase::openProblem()
{
    if (connection().get())
        return {};
    return QCoreApplication::translate("SettingsDatabase",
                                       "The settings file %1 cannot be opened: %2.")
        .arg(defaultPath(), connection().openError());
}

QString SettingsDatabase::takeDamagedNotice()
{
    QMutexLocker lock(&noticeMutex());
    QString notice;
    notice.swap(damagedNotice());
    return notice;
}
