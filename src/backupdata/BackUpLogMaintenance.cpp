#include "backupdata/BackUpLogMaintenance.h"

#include "backupdata/TernBackUpFileObject.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "backupdata/TernFileObject.h"
#include "core/DateTimeText.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString BackUpLogMaintenance::archivePath(const QString& logPath, const QString& stamp)
{
    const qsizetype nameStart = logPath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = logPath.indexOf(QLatin1Char('.'), nameStart);
    const QString insert = QStringLiteral(" - ") + stamp;
    if (dot < 0)
        return logPath + insert;
    return logPath.left(dot) + insert + logPath.mid(dot);
}

QString BackUpLogMaintenance::unusedArchivePath(const QString& logPath, const QString& stamp)
{
    QString path = archivePath(logPath, stamp);
    for (int copy = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++copy)
        path = archivePath(logPath, QStringLiteral("%1 (%2)").arg(stamp).arg(copy));
    return path;
}

QString BackUpLogMaintenance::archive(const QString& logPath, const QDateTime& now,
                                      const StatusLine& status)
{
    // A file object is made as every log command makes one: it advances the running
    // file number shown as the total of files processed.
    const TTernFileObject fileObject;
    Q_UNUSED(fileObject);

    const QString archiveName = unusedArchivePath(logPath, sequenceDateStamp(now));
    TTernFileObject::CopyFile(logPath, archiveName);
    const qint64 copiedSize = QFileInfo(archiveName).size();
    if (copiedSize != QFileInfo(logPath).size())
        throw KestrelError(QCoreApplication::translate("BackUpLogMaintenance",
                                                       "The archive copy %1 is not complete; the "
                                                       "log file %2 was left as it is.")
                               .arg(archiveName, logPath));
    status(QStringLiteral("Existing log file archived as: ") + archiveName);
    status(QStringLiteral("Purging existing log file, please wait..."));

    // The purged log is made from the archive copy, so it can hold nothing that the
    // copy lacks.
    TTernBackUpFileObjectList records;
    const BackUpLogReadResult read = BackUpLogReader::readAll(archiveName, records);
    for (const BackUpLogDamage& damage : read.damagedLines)
        status(
            QCoreApplication::translate("BackUpLogMaintenance",
                                        "Line %1 of the log could not be read; it is kept in the "
                                        "archive copy but not in the purged log.")
                .arg(damage.lineNumber));

    const QStringList latest = records.ExportLatest();
    QSaveFile log(logPath);
    QByteArray text;
    for (const QString& line : latest)
        text += line.toUtf8() + "\r\n";
    if (!log.open(QIODevice::WriteOnly) || !PrivateFiles::makePrivate(log) ||
        log.write(text) != text.size())
        throw KestrelError(
            QCoreApplication::translate("BackUpLogMaintenance", "Unable to write %1: %2")
                .arg(logPath, log.errorString()));
    // A record appended since the copy (by a sequence of another process) would be
    // lost with the purge: the log is then left as it is.
    if (QFileInfo(logPath).size() != copiedSize) {
        log.cancelWriting();
        throw KestrelError(QCoreApplication::translate("BackUpLogMaintenance",
                                                       "The log file %1 changed while it was "
                                                       "archived; it was left as it is.")
                               .arg(logPath));
    }
    if (!log.commit())
        throw KestrelError(
            QCoreApplication::translate("BackUpLogMaintenance", "Unable to write %1: %2")
                .arg(logPath, log.errorString()));
    status(QStringLiteral("Log filed purged successfully."));
    return archiveName;
}

QString BackUpLogMaintenance::newLogPath(const QString& currentLog, const QString& name)
{
    return QFileInfo(currentLog).absolutePath() + QLatin1Char('/') + name + QStringLiteral(".txt");
}

void BackUpLogMaintenance::createNewLog(const QString& path)
{
    if (QFileInfo::exists(path))
        throw KestrelError(QStringLiteral("Unable to create file as it already exists."));
    QFile file(path);
    if (!file.open(QIODevice::NewOnly | QIODevice::WriteOnly))
        throw KestrelError(
            QCoreApplication::translate("BackUpLogMaintenance", "Unable to create %1: %2")
                .arg(path, file.errorString()));
}

bool BackUpLogMaintenance::looksLikeLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray first = file.readLine();
    while (first.endsWith('\n') || first.endsWith('\r'))
        first.chop(1);
    return TTernBackUpFileObject::IsValidLine(QString::fromUtf8(first));
}
