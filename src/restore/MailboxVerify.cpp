#include "restore/MailboxVerify.h"

#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "restore/RestoreProgress.h"
#include "restore/SavedArchive.h"

#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>

namespace {

// Takes the extracted bytes and forgets them: the check needs the CRC and the count,
// not a copy of the file on the disk.
class DiscardingDevice : public QIODevice
{
public:
    DiscardingDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override { return length; }
};

// The size text of the log's record of the path nearest the backup date.
std::optional<QString> loggedSize(const TTernBackUpFileObjectList& log, const QString& path,
                                  const QDateTime& noteDate)
{
    std::optional<QString> best;
    qint64 bestDistance = 0;
    const qint64 noteSeconds = TTernBackUpFileObject::wallClockSeconds(noteDate);
    for (qsizetype i = 0; i < log.Count(); ++i) {
        const TTernBackUpFileObject& record = log.Items(i);
        if (record.FileName() != path)
            continue;
        const qint64 distance = qAbs(record.BackupDateSeconds() - noteSeconds);
        if (!best || distance < bestDistance) {
            best = record.SizeText();
            bestDistance = distance;
        }
    }
    return best;
}

QString checkVersion(const SavedVersion& version, MailboxReader& reader, const QString& password,
                     const TTernBackUpFileObjectList& log, const StepRunner& runner)
{
    const std::optional<QString> logged = loggedSize(log, version.path, version.noteDate);
    // The log mailed at the end of each sequence holds no record of itself: its notes
    // are checked for opening whole, without a size to compare.
    const bool isTheLog = version.path == TQuayRegistryObject().ReadLogFile();
    if (!logged && !isTheLog)
        return QStringLiteral("the log has no record of it");
    QTemporaryDir folder;
    QFile archive(folder.filePath(QStringLiteral("archive.zip")));
    if (!folder.isValid() || !archive.open(QIODevice::WriteOnly))
        throw KestrelError(QStringLiteral("Could not create a temporary file"));
    try {
        runStep(runner, [&] {
            for (const MailboxNote& note : version.parts)
                reader.fetchAttachment(note, archive);
        });
    } catch (const KestrelError& error) {
        if (error.message() == QLatin1String("cancelled"))
            throw;
        return error.message();
    }
    if (!archive.flush() || archive.error() != QFileDevice::NoError)
        throw KestrelError(
            QStringLiteral("Could not write a temporary file: %1").arg(archive.errorString()));
    archive.close();
    try {
        SavedArchive zip(archive.fileName());
        DiscardingDevice sink;
        SavedArchive::Extracted extracted = SavedArchive::Extracted::Done;
        runStep(runner, [&] { extracted = zip.extract(password, sink); });
        if (extracted == SavedArchive::Extracted::WrongPassword)
            return QStringLiteral("wrong zip password");
        const QString size = QString::number(zip.entry().size / 1024) + QStringLiteral(" KB");
        if (logged && size != *logged)
            return QStringLiteral("holds %1 where the log records %2").arg(size, *logged);
    } catch (const KestrelError& error) {
        return error.message();
    }
    return QString();
}

// The log's backup date is taken before the file is packed, the note's date when it
// is sent, both from this computer's clock: a note dated a little before its record
// is still the record's, should the clock have been set back in between.
constexpr qint64 ClockSlackSeconds = 60;

// Every file's latest log record looked up in the catalog, without a download: a
// whole version saved at or after its backup date must be there.
QList<MailboxVerify::Fault> latestRecordGaps(const MailboxCatalog& catalog,
                                             const TTernBackUpFileObjectList& log, int* looked)
{
    QHash<QString, const TTernBackUpFileObject*> latest;
    QStringList paths;
    for (qsizetype i = 0; i < log.Count(); ++i) {
        const TTernBackUpFileObject& record = log.Items(i);
        const TTernBackUpFileObject*& slot = latest[record.FileName()];
        if (slot == nullptr)
            paths.append(record.FileName());
        if (slot == nullptr || record.BackupDateSeconds() >= slot->BackupDateSeconds())
            slot = &record;
    }
    QHash<QString, const SavedFile*> files;
    for (const SavedFile& file : catalog.files())
        files.insert(file.path, &file);
    QList<MailboxVerify::Fault> gaps;
    for (const QString& path : std::as_const(paths)) {
        const TTernBackUpFileObject& record = *latest.value(path);
        const SavedFile* file = files.value(path);
        const SavedVersion* nearest = nullptr;
        bool whole = false;
        // Versions are newest first: the last one in reach is the nearest.
        for (qsizetype i = 0; file && i < file->versions.size() && !whole; ++i) {
            const SavedVersion& version = file->versions.at(i);
            if (TTernBackUpFileObject::wallClockSeconds(version.noteDate) <
                record.BackupDateSeconds() - ClockSlackSeconds)
                break;
            whole = version.complete();
            nearest = &version;
        }
        if (whole)
            continue;
        if (nearest)
            gaps.append({path, nearest->noteDate,
                         QStringLiteral("the log's latest backup of it is ") + nearest->fault()});
        else
            gaps.append({path, record.BackupDate(),
                         QStringLiteral("the log's latest backup of it is not in the mailbox")});
    }
    *looked = static_cast<int>(paths.size());
    return gaps;
}

} // namespace

QString MailboxVerify::Result::text() const
{
    QStringList lines{
        QStringLiteral("%1 saved %2 checked, %3 logged %4 looked up, %5 %6")
            .arg(checked)
            .arg(checked == 1 ? QStringLiteral("version") : QStringLiteral("versions"))
            .arg(loggedFiles)
            .arg(loggedFiles == 1 ? QStringLiteral("file") : QStringLiteral("files"))
            .arg(faults.size())
            .arg(faults.size() == 1 ? QStringLiteral("fault") : QStringLiteral("faults"))};
    for (const Fault& fault : faults)
        lines.append(
            QStringLiteral("%1 (saved %2): %3")
                .arg(fault.path,
                     fault.noteDate.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                     fault.reason));
    return lines.join(QLatin1Char('\n'));
}

MailboxVerify::Result MailboxVerify::verify(const MailboxCatalog& catalog, MailboxReader& reader,
                                            const QString& zipPassword, int count,
                                            RestoreProgress& progress, const StepRunner& runner)
{
    QList<const SavedVersion*> complete;
    for (const SavedFile& file : catalog.files()) {
        for (const SavedVersion& version : file.versions) {
            if (version.complete())
                complete.append(&version);
        }
    }
    std::shuffle(complete.begin(), complete.end(), *QRandomGenerator::global());
    complete = complete.mid(0, qMax(0, count));

    TTernBackUpFileObjectList log;
    BackUpLogReader::readAll(TQuayRegistryObject().ReadLogFile(), log);
    const QString password = SavedArchive::packedPassword(zipPassword);
    Result result;
    progress.status(QStringLiteral("Looking up the latest backup of each logged file"));
    result.faults = latestRecordGaps(catalog, log, &result.loggedFiles);
    for (const SavedVersion* version : std::as_const(complete)) {
        if (progress.cancelRequested())
            throw KestrelError(QStringLiteral("cancelled"));
        progress.status(QStringLiteral("Checking %1").arg(version->path));
        progress.progress(result.checked, complete.size());
        const QString fault = checkVersion(*version, reader, password, log, runner);
        if (!fault.isEmpty())
            result.faults.append({version->path, version->noteDate, fault});
        ++result.checked;
    }
    progress.progress(result.checked, complete.size());
    return result;
}
