#pragma once

#include "backupdata/FileState.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// Writing records to the end of the backup log, one line each.
namespace BackUpLogAppend {

// Raises KestrelError for a text with a line break: the line-per-record log cannot
// hold it, nor can a mail header.
void requireSingleLine(const QString& text);

// Appends the lines to the log at logPath, creating it private when missing. A last
// line cut short (a crash while it was written) is ended first, so a new record is
// not glued to it. Every line is on the disk when the call returns; raises
// KestrelError when the log cannot be opened or written.
void appendLines(const QString& logPath, const QStringList& lines);

// The record of a file packed (or copied) from the state packed: the date and size
// the archive was made from, not what the file holds now, so a file changed while it
// was packed or mailed stays due. A change within the same second as the packed date
// would look current to the log, which keeps whole seconds, so such a file is
// recorded one second earlier.
QString packedRecordLine(const QString& fileName, const FileState& packed,
                         const QDateTime& backupDate, int id);

} // namespace BackUpLogAppend
