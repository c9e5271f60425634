#include "backupdata/BackUpLogMaintenance.h"

#include "backupdata/TernBackUpFileObject.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "backupdata/TernFileObject.h"
#include "core/DateTimeText.h"
#include "core/KestrelError.h"

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

QString BackUpLogMaintenance::archive(const QString& logPath, const QDateTime& now, bool cancelled,
                                      const StatusLine& status)
{
    // A file object is made as every log command makes one: it advances the running
    // file number shown as the total of files processed.
    const TTernFileObject fileObject;
    Q_UNUSED(fileObject);
    TTernBackUpFileObjectList records;
    BackUpLogReadResult read;
    if (QFileInfo::exists(logPath) && !cancelled)
        read = BackUpLogReader::readAll(logPath, records);

    const QString archiveName = archivePath(logPath, sequenceDateStamp(now));
    TTernFileObject::CopyFile(logPath, archiveName);
    status(QStringLiteral("Existing log file archived as: ") + archiveName);
    status(QStringLiteral("Purging existing log file, please wait..."));
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
    if (!log.open(QIODevice::WriteOnly) || log.write(text) != text.size() || !log.commit())
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
