#include "sequence/MailboxLogRebuild.h"

#include "backupdata/BackUpLogMaintenance.h"
#include "backupdata/BackUpLogReader.h"
#include "backupdata/LogLineFormat.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/RestoreProgress.h"
#include "sequence/ZipDirectoryTail.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>

namespace {

// Enough for the end record, a zip64 record and the one central header with its name.
constexpr qint64 TailBytes = 16384;

struct Record
{
    QString path;
    QDateTime fileDate;
    qint64 size = 0;
    QDateTime backupDate;
};

QDateTime wholeSeconds(const QDateTime& moment)
{
    return moment.isValid() ? QDateTime::fromSecsSinceEpoch(moment.toSecsSinceEpoch()) : moment;
}

// The file dates the current log holds for each path, for archives that carry only
// the DOS date. A log that cannot be read gives none: the DOS date then stands.
QHash<QString, QList<QDateTime>> loggedFileDates(const QString& logPath)
{
    QHash<QString, QList<QDateTime>> dates;
    try {
        TTernBackUpFileObjectList log;
        BackUpLogReader::readAll(logPath, log);
        for (qsizetype i = 0; i < log.Count(); ++i)
            dates[log.Items(i).FileName()].append(log.Items(i).FileDate());
    } catch (const KestrelError&) {
    }
    return dates;
}

// A DOS date is the file's time rounded down to an even second: the logged date of the
// same path within those two seconds is the exact one.
QDateTime refinedDosTime(const QDateTime& dosTime, const QList<QDateTime>& logged)
{
    for (const QDateTime& date : logged) {
        const qint64 after = dosTime.secsTo(date);
        if (after >= 0 && after < 2)
            return date;
    }
    return dosTime;
}

} // namespace

MailboxLogRebuild::Result MailboxLogRebuild::rebuild(const MailboxCatalog& catalog,
                                                     MailboxReader& reader,
                                                     RestoreProgress& progress,
                                                     const StepRunner& runner)
{
    QList<const SavedVersion*> versions;
    for (const SavedFile& file : catalog.files()) {
        // A path with a line break cannot be one record; the program never logs one.
        if (file.path.contains(QLatin1Char('\n')) || file.path.contains(QLatin1Char('\r'))) {
            progress.status(QStringLiteral("A saved path with a line break was left out."));
            continue;
        }
        for (const SavedVersion& version : file.versions) {
            if (version.complete())
                versions.append(&version);
        }
    }

    const TQuayRegistryObject store;
    const QString logPath = store.ReadLogFile();
    const QHash<QString, QList<QDateTime>> logged = loggedFileDates(logPath);
    QList<Record> records;
    for (qsizetype i = 0; i < versions.size(); ++i) {
        if (progress.cancelRequested())
            throw KestrelError(QStringLiteral("cancelled"));
        const SavedVersion& version = *versions.at(i);
        progress.status(QStringLiteral("Reading %1").arg(version.path));
        progress.progress(i, versions.size());
        QByteArray tail;
        runStep(runner,
                [&] { tail = reader.fetchAttachmentTail(version.parts.constLast(), TailBytes); });
        Record record{version.path, version.noteDate, version.archiveSize(), version.noteDate};
        if (const auto directory = ZipDirectoryTail::read(tail)) {
            record.size = directory->size;
            if (directory->modified.isValid())
                record.fileDate = directory->exactTime ? directory->modified
                                                       : refinedDosTime(directory->modified,
                                                                        logged.value(version.path));
        }
        records.append(record);
    }
    progress.progress(versions.size(), versions.size());
    // In the order the backups happened, as the program appends them.
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return a.backupDate < b.backupDate; });

    Result result;
    if (QFileInfo(logPath).size() > 0) {
        result.archivedLog = BackUpLogMaintenance::archive(
            logPath, Services::clock().now(), [&](const QString& line) { progress.status(line); });
    }

    int id = store.ReadFileIDNumber();
    QByteArray bytes;
    for (const Record& record : std::as_const(records)) {
        id = id >= TQuayRegistryObject::FileIDNumberLimit ? 1 : id + 1;
        bytes += joinLogFields(record.path, wholeSeconds(record.fileDate),
                               QString::number(record.size / 1024) + QStringLiteral(" KB"),
                               wholeSeconds(record.backupDate), id)
                     .toUtf8();
        bytes += QByteArray(logLineEnd.data(), logLineEnd.size());
    }
    QDir().mkpath(QFileInfo(logPath).absolutePath());
    QSaveFile log(logPath);
    if (!log.open(QIODevice::WriteOnly) || log.write(bytes) != bytes.size() || !log.commit())
        throw KestrelError(QStringLiteral("Could not write the backup log %1: %2")
                               .arg(logPath, log.errorString()));
    store.WriteFileIDNumber(id);
    result.records = static_cast<int>(records.size());
    progress.status(QStringLiteral("The log was rebuilt with %1 records.").arg(records.size()));
    return result;
}
