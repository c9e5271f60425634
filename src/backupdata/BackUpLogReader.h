#pragma once

#include "backupdata/SelectionListText.h"
#include "backupdata/TernBackUpFileObject.h"

#include <QFile>
#include <QList>
#include <QString>

#include <memory>

class TTernBackUpFileObjectList;

// A log line that could not be read as a record. Reading goes on after it; the file
// the line described has no record from it, so that file is simply due again.
struct BackUpLogDamage
{
    int lineNumber = 0;
    QString line;
    QString reason;
};

struct BackUpLogReadResult
{
    qsizetype recordCount = 0;
    QList<BackUpLogDamage> damagedLines;
};

// Reads the backup log one record at a time, for callers that work between lines
// (the log tree lets the window breathe and can be cancelled). Lines are read with
// the list rules of SelectionListText.h: blank lines and indentation are skipped, a
// Ctrl-Z ends the log.
class BackUpLogReader
{
public:
    enum class Status
    {
        Record,
        Damaged,
        End
    };

    // A missing log reads as empty. Throws KestrelError naming the log and the reason
    // when the file exists but cannot be opened.
    explicit BackUpLogReader(const QString& path);
    BackUpLogReader(const BackUpLogReader&) = delete;
    BackUpLogReader& operator=(const BackUpLogReader&) = delete;

    // Clears the record and parses the next line into it. On Damaged, damage()
    // describes the line and the record holds nothing of it. Throws KestrelError
    // with the log's path when reading fails.
    Status readNext(TTernBackUpFileObject& record);
    const BackUpLogDamage& damage() const { return m_damage; }

    // Reads the whole log into the list, reporting each damaged line.
    static BackUpLogReadResult readAll(const QString& path, TTernBackUpFileObjectList& list);
    // The size of a typical record line, to size the list before reading.
    static constexpr qint64 ExpectedRecordBytes = 80;

private:
    QString m_path;
    QFile m_file;
    std::unique_ptr<SelectionListTextReader> m_reader;
    BackUpLogDamage m_damage;
};
