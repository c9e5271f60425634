#include "sequence/MailboxLogRebuild.h"

#include "backupdata/BackUpLogMaintenance.h"
#include "backupdata/BackUpLogReader.h"
#include "backupdata/LogLineFormat.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/LoggedFileDates.h"
#include "sequence/RestoreProgress.h"
#include "sequence/ZipDirectoryTail.h"

#include <QDir>
#include <QFileInfo>
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
    const LoggedFileDates logged(logPath);
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
                record.fileDate = directory->exactTime
                                      ? directory->modified
                                      : logged.refine(version.path, directory->modified);
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
