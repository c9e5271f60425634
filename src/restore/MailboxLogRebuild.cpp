#include "restore/MailboxLogRebuild.h"

#include "backupdata/BackUpLogMaintenance.h"
#include "backupdata/BackUpLogReader.h"
#include "backupdata/LogLineFormat.h"
#include "backupdata/SelectionListText.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "restore/RestoreProgress.h"
#include "restore/SavedArchive.h"
#include "restore/ZipDirectoryTail.h"
#include "restore/ZipPasswordCheck.h"
#include "sequence/LoggedFileDates.h"
#include "transport/MailboxReader.h"

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

// A note's date comes from the sending computer's clock, which may run a little ahead.
constexpr qint64 ClockSlackSeconds = 300;

// Why a version may not go into the log when a zip password is set: only archives
// that open with it are the user's own.
QString passwordRefusal(MailboxReader& reader, const SavedVersion& version, const QString& password)
{
    constexpr qsizetype FirstLook = 1024;
    QByteArray head = reader.fetchAttachmentHead(version.parts.constFirst(), FirstLook);
    const qsizetype needed = ZipPasswordCheck::bytesNeeded(head);
    if (needed > head.size())
        head = reader.fetchAttachmentHead(version.parts.constFirst(), needed);
    switch (ZipPasswordCheck::check(head, password)) {
    case ZipPasswordCheck::Verdict::Opens:
        return {};
    case ZipPasswordCheck::Verdict::WrongPassword:
        return QStringLiteral("its archive does not open with the zip password");
    case ZipPasswordCheck::Verdict::NotProtected:
        return SavedArchive::notProtectedMessage();
    case ZipPasswordCheck::Verdict::Unreadable:
        break;
    }
    return QStringLiteral("its archive cannot be read");
}

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
        // A path with a line break or Ctrl-Z would come back as other records, one of
        // them with whatever date the rest of the subject makes up.
        if (!isListableName(file.path)) {
            progress.status(QStringLiteral("Left out: %1").arg(unlistableNameMessage(file.path)));
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
    const QString zipPassword = store.ReadUserZipPassword();
    const QDateTime latestDate = Services::clock().now().addSecs(ClockSlackSeconds);
    QList<Record> records;
    for (qsizetype i = 0; i < versions.size(); ++i) {
        if (progress.cancelRequested())
            throw KestrelError(QStringLiteral("cancelled"));
        const SavedVersion& version = *versions.at(i);
        progress.status(QStringLiteral("Reading %1").arg(version.path));
        progress.progress(i, versions.size());
        QString refusal;
        if (!zipPassword.isEmpty())
            runStep(runner, [&] { refusal = passwordRefusal(reader, version, zipPassword); });
        Record record{version.path, version.noteDate, version.archiveSize(), version.noteDate};
        if (refusal.isEmpty()) {
            QByteArray tail;
            runStep(runner, [&] {
                tail = reader.fetchAttachmentTail(version.parts.constLast(), TailBytes);
            });
            if (const auto directory = ZipDirectoryTail::read(tail)) {
                record.size = directory->size;
                if (directory->modified.isValid())
                    record.fileDate = directory->exactTime
                                          ? directory->modified
                                          : logged.refine(version.path, directory->modified);
            }
            // A record from the future would keep the file from being due until then.
            if (record.backupDate > latestDate || record.fileDate > latestDate)
                refusal =
                    QStringLiteral("it is dated in the future (%1)")
                        .arg(std::max(record.backupDate, record.fileDate).toString(Qt::ISODate));
        }
        if (!refusal.isEmpty()) {
            progress.status(QStringLiteral("Left out %1: %2").arg(version.path, refusal));
            continue;
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
    if (!log.open(QIODevice::WriteOnly) || !PrivateFiles::makePrivate(log) ||
        log.write(bytes) != bytes.size() || !log.commit())
        throw KestrelError(QStringLiteral("Could not write the backup log %1: %2")
                               .arg(logPath, log.errorString()));
    store.WriteFileIDNumber(id);
    result.records = static_cast<int>(records.size());
    progress.status(QStringLiteral("The log was rebuilt with %1 records.").arg(records.size()));
    return result;
}
