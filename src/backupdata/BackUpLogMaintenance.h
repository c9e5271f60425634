#pragma once

#include "backupdata/BackUpLogReader.h"

#include <QDateTime>
#include <QString>

#include <functional>

// The log commands of the "Backup Log" menu that need no window: starting a new log
// file, checking a file before it becomes the log, and archiving the log (copy it
// away, then purge it to the latest record of each file).
class BackUpLogMaintenance
{
public:
    using StatusLine = std::function<void(const QString&)>;

    // The archive copy's path: " - " and the stamp inserted before the first "." of
    // the log's file name ("Log.Txt" becomes "Log - 04-03-14 21-40-07.Txt"), or
    // appended when the name has none. Only the file name is looked at: a dot in a
    // folder name ("~/.local/share/...") must not decide where the stamp goes.
    static QString archivePath(const QString& logPath, const QString& stamp);

    // archivePath, or when a file of that name exists (two archives within one
    // second), the same with " (2)", " (3)" ... after the stamp.
    static QString unusedArchivePath(const QString& logPath, const QString& stamp);

    // Copies the log to an unused archive path and rewrites the log with
    // ExportLatest's lines of the copy, reporting each step. The copy keeps every
    // line, damaged ones included; the purged log keeps one line per file path.
    // Throws KestrelError when the log cannot be read or copied, the copy is not as
    // long as the log, or the log changed meanwhile; the log is then unchanged.
    static QString archive(const QString& logPath, const QDateTime& now, const StatusLine& status);

    // "<folder of the current log>/<name>.txt".
    static QString newLogPath(const QString& currentLog, const QString& name);
    // Creates the new, empty log. Throws "Unable to create file as it already exists."
    // when the file is there, and a KestrelError naming the file when it cannot be made.
    static void createNewLog(const QString& path);

    // Whether the file's first line reads as a log line (an empty file does not).
    static bool looksLikeLog(const QString& path);
};
