#include "backupdata/BackUpLogAppend.h"

#include "backupdata/LogLineFormat.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

void syncFolder(const QString& folder)
{
    const int descriptor = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

// What the log lacks of its last line end when that line was cut short. A last CR is
// the first half of a line end, as no record holds a CR of its own.
QByteArray missingLineEnd(const QString& logPath)
{
    QFile log(logPath);
    char last = '\n';
    if (log.open(QIODevice::ReadOnly) && log.size() > 0 && log.seek(log.size() - 1))
        log.getChar(&last);
    if (last == '\n')
        return QByteArray();
    return last == '\r' ? QByteArray("\n") : QByteArray(logLineEnd.latin1());
}

} // namespace

namespace BackUpLogAppend {

void requireSingleLine(const QString& text)
{
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        throw KestrelError(
            QStringLiteral("The file name contains a line break and cannot be backed up: %1")
                .arg(QString(text)
                         .replace(QLatin1Char('\n'), QLatin1Char(' '))
                         .replace(QLatin1Char('\r'), QLatin1Char(' '))));
}

void appendLines(const QString& logPath, const QStringList& lines)
{
    const bool created = !QFileInfo::exists(logPath);
    QFile log(logPath);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        throw KestrelError(
            QStringLiteral("Could not open the backup log %1: %2").arg(logPath, log.errorString()));
    if (created)
        PrivateFiles::makePrivate(log);
    QByteArray bytes;
    if (!created)
        bytes += missingLineEnd(logPath);
    for (const QString& line : lines)
        bytes += line.toUtf8() + logLineEnd.latin1();
    // A record that was appended must survive a power cut: flush Qt's buffer, then
    // have the kernel put the data (and, for a new log, its folder entry) on disk.
    if (log.write(bytes) != bytes.size() || !log.flush() || ::fsync(log.handle()) != 0)
        throw KestrelError(QStringLiteral("Could not write to the backup log %1: %2")
                               .arg(logPath, log.errorString()));
    log.close();
    if (created)
        syncFolder(QFileInfo(logPath).absolutePath());
}

QString packedRecordLine(const QString& fileName, const FileState& packed,
                         const QDateTime& backupDate, int id)
{
    qint64 recordedSeconds = packed.modifiedSeconds;
    const std::optional<FileState> now = FileState::of(fileName);
    const bool changed =
        now && (now->device != packed.device || now->inode != packed.inode ||
                now->size != packed.size || now->modifiedSeconds != packed.modifiedSeconds ||
                now->modifiedNanoseconds != packed.modifiedNanoseconds);
    if (changed && now->modifiedSeconds == packed.modifiedSeconds)
        --recordedSeconds;
    return joinLogFields(fileName, QDateTime::fromSecsSinceEpoch(recordedSeconds),
                         QString::number(packed.size / 1024) + QStringLiteral(" KB"), backupDate,
                         id);
}

} // namespace BackUpLogAppend
