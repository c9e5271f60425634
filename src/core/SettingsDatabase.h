#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The settings store's storage: one SQLite file that stands in for the per-user
// registry. Each value is addressed by a key path and a value name, both compared
// without regard to case, and keeps its registry type. Every call is one short
// statement on the file; nothing is cached, so a write by another process (the
// file-manager helper) is seen on the next read.
class SettingsDatabase
{
public:
    enum class ValueType
    {
        String = 1,
        Binary = 3,
        Integer = 4
    };

    struct Value
    {
        ValueType type;
        QByteArray
            data; // String: bytes as stored; Binary: raw bytes; Integer: 4 bytes little-endian
    };

    // $XDG_CONFIG_HOME/Orrery/registry.sqlite3
    static QString defaultPath();

    // Missing values, and any failure to read, give no value.
    static std::optional<Value> read(const QString& keyPath, const QString& name);
    // Throws SettingsError naming the value and the cause when the write cannot be
    // stored.
    static void write(const QString& keyPath, const QString& name, const Value& value);
    // Removes the value; false when it was not there.
    static bool remove(const QString& keyPath, const QString& name);

    // Empty when the database file can be opened; otherwise the text to tell the user,
    // naming the file and the system's reason.
    static QString openProblem();

    // The calling thread's connection is closed at once. Otherwise it closes as the
    // thread ends, after QThread::wait() has returned, when SQLite may still remove
    // its journal files from a folder that is being removed.
    static void closeThisThreadsConnection();

    // When a damaged database file was set aside, the text to tell the user, once;
    // empty otherwise.
    static QString takeDamagedNotice();
};
