#include "restore/MailboxRestore.h"

#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "core/WholeWrite.h"
#include "core/WritebackPacer.h"
#include "restore/RestoreProgress.h"
#include "restore/RestoreTarget.h"
#include "restore/SavedArchive.h"
#include "restore/SavedArchiveStream.h"
#include "restore/SavedArchiveStreamDevice.h"
#include "sequence/LoggedFileDates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The system's words for the last call's failure: "No space left on device".
QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The file as a new, private, hidden name next to its final one: nothing appears
// under the final name until the file is whole.
struct PartialFile
{
    QString path;
    QFile file;

    explicit PartialFile(const QString& finalPath)
    {
        const QFileInfo final(finalPath);
        for (int attempt = 0; attempt < 100; ++attempt) {
            // Not made from the file's name, which may already be at the length limit.
            path = final.absolutePath() +
                   QStringLiteral("/.kestrel-restoring-%1")
                       .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
            const int fd = ::open(QFile::encodeName(path).constData(),
                                  O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd >= 0) {
                file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle);
                return;
            }
            if (errno != EEXIST)
                break;
        }
        throw KestrelError(QStringLiteral("could not create a file in %1: %2")
                               .arg(final.absolutePath(), systemReason()));
    }
    ~PartialFile()
    {
        file.close();
        if (!path.isEmpty())
            QFile::remove(path);
    }
    void keep() { path.clear(); }
};

mode_t currentUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

void syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString MailboxRestore::Summary::text() const
{
    QStringList lines;
    lines.append(QStringLiteral("%1 %2 restored, %3 skipped, %4 failed")
                     .arg(restored)
                     .arg(restored == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                     .arg(skipped)
                     .arg(failed));
    if (cancelled)
        lines.append(QStringLiteral("The restore was cancelled."));
    lines += notices;
    for (const ItemResult& item : items) {
        if (item.outcome == Outcome::Skipped)
            lines.append(QStringLiteral("Skipped %1: %2").arg(item.path, item.reason));
        else if (item.outcome == Outcome::Failed)
            lines.append(QStringLiteral("Failed %1: %2").arg(item.path, item.reason));
    }
    return lines.join(QLatin1Char('\n'));
}

MailboxRestore::MailboxRestore(MailboxReader& reader, QString targetFolder, QString zipPassword,
                               StepRunner runStep)
    : m_reader(reader), m_target(std::move(targetFolder)), m_password(std::move(zipPassword)),
      m_runStep(std::move(runStep))
{}

QString MailboxRestore::defaultTargetFolder(const QDateTime& now)
{
    return QDir::homePath() + QStringLiteral("/Restored ") +
           now.toString(QStringLiteral("yyyy-MM-dd hh.mm.ss"));
}

QString MailboxRestore::relativePathOf(const QString& savedPath)
{
    QString relative = savedPath;
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return relative;
}

namespace {

// One run of restore: what the user answered so far holds for the rest of it.
class RestoreRun
{
public:
    RestoreRun(MailboxReader& reader, const StepRunner& runner, QString& password,
               RestoreProgress& progress, qint64 total)
        : m_reader(reader), m_runner(runner), m_password(password), m_progress(progress),
          m_total(total)
    {}

    bool cancelled = false;

    // Files already there are written over without a question, as after Yes to All.
    void writeOverAll() { m_yesToAll = true; }

    MailboxRestore::ItemResult restore(const SavedVersion& version, const RestoreTarget& target)
    {
        MailboxRestore::ItemResult item{version.path, MailboxRestore::Outcome::Failed, {}};
        // A connection dropped while the file came is made again once, and the file
        // starts over.
        for (int attempt = 0;; ++attempt) {
            m_connectionBroke = false;
            try {
                item.outcome = restoreVersion(version, target, item.reason);
                return item;
            } catch (const KestrelError& error) {
                item.reason = error.message();
                if (error.message() == QLatin1String("cancelled") || m_progress.cancelRequested()) {
                    cancelled = true;
                    item.outcome = MailboxRestore::Outcome::Skipped;
                    item.reason = QStringLiteral("cancelled");
                    return item;
                }
            } catch (const std::exception& error) {
                item.reason = QString::fromLocal8Bit(error.what());
                return item;
            }
            if (!m_connectionBroke || attempt > 0)
                return item;
            m_progress.status(QStringLiteral("The connection broke off: connecting again"));
        }
    }

    std::optional<quint32> uidValidity;

    // The versions to restore, and which of them is the one restored now: the reader
    // is told of those that follow, so that it may fetch small ones ahead.
    void setQueue(const QList<SavedVersion>& versions) { m_queue = versions; }
    void setPosition(qsizetype position) { m_position = position; }

private:
    static constexpr qsizetype ExpectedWindow = 64;

    void expectNext()
    {
        if (m_position < m_expectedUpTo)
            return;
        m_expectedUpTo = m_position + ExpectedWindow;
        QList<MailboxNote> notes;
        for (qsizetype i = m_position; i < std::min(m_queue.size(), m_expectedUpTo); ++i) {
            if (m_queue[i].complete())
                notes += m_queue[i].parts;
        }
        runStep(m_runner, [&] { m_reader.expectAttachments(notes); });
    }

    // A connection a file's fault left closed (one that could not be written, or
    // that broke off twice) is made again for the next file, once: when that fails
    // too, every file after it fails with the same reason rather than waiting on the
    // server again.
    void reopenIfClosed()
    {
        if (!m_reopenProblem.isEmpty())
            throw KestrelError(m_reopenProblem);
        bool open = true;
        runStep(m_runner, [&] { open = m_reader.isOpen(); });
        if (open)
            return;
        try {
            MailboxReader::MailboxState state;
            runStep(m_runner, [&] { state = m_reader.open(); });
            // Under another UIDVALIDITY the listed UIDs may name other messages.
            if (uidValidity && state.uidValidity != *uidValidity)
                throw KestrelError(QStringLiteral("the mailbox has changed since it was listed; "
                                                  "list it again and choose again"));
        } catch (const KestrelError& error) {
            m_reopenProblem = error.message();
            throw;
        }
    }

    MailboxRestore::Outcome restoreVersion(const SavedVersion& version, const RestoreTarget& target,
                                           QString& reason)
    {
        if (!version.complete()) {
            reason = version.fault();
            return MailboxRestore::Outcome::Failed;
        }
        const QString finalPath = target.prepare(MailboxRestore::relativePathOf(version.path));
        // A second version of a file waiting in the batch finds it in place.
        if (isSettling(finalPath))
            settle();
        const QFileInfo existing(finalPath);
        if (existing.isDir() && !existing.isSymLink()) {
            reason = QStringLiteral("a folder of that name is in the way");
            return MailboxRestore::Outcome::Failed;
        }
        if ((existing.exists() || existing.isSymLink()) && !mayWriteOver(finalPath, version)) {
            if (cancelled) {
                reason = QStringLiteral("cancelled");
            } else {
                reason = QStringLiteral("the existing file was kept");
            }
            return MailboxRestore::Outcome::Skipped;
        }

        reopenIfClosed();
        expectNext();
        m_progress.status(QStringLiteral("Restoring %1").arg(version.path));
        if (const auto outcome = restoreStreamed(version, finalPath, reason))
            return *outcome;
        reopenIfClosed();
        return restoreDownloaded(version, finalPath, reason);
    }

    // The archive read as it arrives: only the file itself reaches the disk. None when
    // the archive is of a form that only a reader of the whole archive takes.
    std::optional<MailboxRestore::Outcome>
    restoreStreamed(const SavedVersion& version, const QString& finalPath, QString& reason)
    {
        PartialFile restored(finalPath);
        WritebackPacer writeback(restored.file);
        const qint64 before = m_done;
        for (;;) {
            if (!restored.file.seek(0) || !restored.file.resize(0))
                throw KestrelError(QStringLiteral("could not write the file: %1")
                                       .arg(restored.file.errorString()));
            writeback.restart();
            qint64 restoredSize = 0;
            const SavedArchiveStream* reading = nullptr;
            bool roomChecked = false;
            SavedArchiveStream stream(m_password, [&](const char* data, qsizetype size) {
                if (!roomChecked) {
                    roomChecked = true;
                    const QString problem = roomProblem(finalPath, reading->entry().size);
                    if (!problem.isEmpty())
                        throw KestrelError(problem);
                }
                if (!writeWhole(restored.file, data, size))
                    throw KestrelError(QStringLiteral("could not write the file: %1")
                                           .arg(restored.file.errorString()));
                restoredSize += size;
                writeback.written(restoredSize);
            });
            reading = &stream;
            SavedArchiveStreamDevice device(stream);
            SavedArchive::Extracted extracted = SavedArchive::Extracted::Done;
            bool transferred = false;
            try {
                runStep(m_runner, [&] {
                    qint64 partsDone = 0;
                    for (const MailboxNote& note : version.parts) {
                        m_reader.fetchAttachment(note, device, [&](qint64 bytes) {
                            m_progress.progress(addSizes(before, partsDone + bytes), m_total);
                            return !m_progress.cancelRequested();
                        });
                        partsDone = device.fed();
                    }
                    device.finishWrites();
                    if (!device.refusal().isEmpty())
                        throw KestrelError(device.refusal());
                    transferred = true;
                    extracted = stream.finish();
                });
            } catch (const KestrelError&) {
                device.finishWrites();
                if (stream.needsWholeArchive())
                    return std::nullopt;
                // The archive's fault or the disk's, not the server's.
                if (!device.refusal().isEmpty())
                    throw KestrelError(device.refusal());
                // The server's, and worth a second try.
                if (!transferred)
                    runStep(m_runner, [&] { m_connectionBroke = !m_reader.isOpen(); });
                throw;
            }
            m_done = addSizes(before, version.archiveSize());
            if (extracted == SavedArchive::Extracted::Done) {
                keep(version, restored, stream.entry(), finalPath);
                return MailboxRestore::Outcome::Restored;
            }
            const std::optional<QString> password = askPassword();
            if (!password) {
                reason = QStringLiteral("wrong zip password");
                return MailboxRestore::Outcome::Failed;
            }
            // The archive is read again with the new password.
            m_password = *password;
            reopenIfClosed();
        }
    }

    // The archive downloaded whole, then opened: for archives that put their sizes
    // after the data, which older versions wrote.
    MailboxRestore::Outcome restoreDownloaded(const SavedVersion& version, const QString& finalPath,
                                              QString& reason)
    {
        PartialFile archive(finalPath);
        const qint64 before = m_done;
        try {
            runStep(m_runner, [&] {
                qint64 partsDone = 0;
                for (const MailboxNote& note : version.parts) {
                    m_reader.fetchAttachment(note, archive.file, [&](qint64 bytes) {
                        m_progress.progress(addSizes(before, partsDone + bytes), m_total);
                        return !m_progress.cancelRequested();
                    });
                    partsDone = archive.file.pos();
                }
                if (!archive.file.flush() || archive.file.error() != QFileDevice::NoError)
                    throw KestrelError(QStringLiteral("could not write the download: %1")
                                           .arg(archive.file.errorString()));
            });
        } catch (const KestrelError&) {
            // Not the disk's fault: the server's, and worth a second try.
            if (archive.file.error() == QFileDevice::NoError)
                runStep(m_runner, [&] { m_connectionBroke = !m_reader.isOpen(); });
            throw;
        }
        m_done = addSizes(before, version.archiveSize());

        SavedArchive zip(archive.path);
        const SavedArchive::Entry& entry = zip.entry();
        // Checked before writing, so a large file fails at once rather than when the
        // disk is full.
        reason = roomProblem(finalPath, entry.size);
        if (!reason.isEmpty())
            return MailboxRestore::Outcome::Failed;
        PartialFile restored(finalPath);
        for (;;) {
            SavedArchive::Extracted extracted = SavedArchive::Extracted::Done;
            runStep(m_runner, [&] {
                extracted = zip.extract(m_password, restored.file,
                                        [&](qint64) { return !m_progress.cancelRequested(); });
            });
            if (extracted == SavedArchive::Extracted::Done)
                break;
            const std::optional<QString> password = askPassword();
            if (!password) {
                reason = QStringLiteral("wrong zip password");
                return MailboxRestore::Outcome::Failed;
            }
            m_password = *password;
        }
        keep(version, restored, entry, finalPath);
        return MailboxRestore::Outcome::Restored;
    }

    static QString roomProblem(const QString& finalPath, qint64 size)
    {
        const QStorageInfo disk(QFileInfo(finalPath).absolutePath());
        if (disk.isValid() && disk.bytesAvailable() >= 0 && disk.bytesAvailable() < size)
            return QStringLiteral("not enough free space: the file takes %1 bytes, %2 are free")
                .arg(size)
                .arg(disk.bytesAvailable());
        return {};
    }

    void keep(const SavedVersion& version, PartialFile& restored, const SavedArchive::Entry& entry,
              const QString& finalPath)
    {
        SavedArchive::Entry dated = entry;
        if (!entry.exactTime && entry.modified.isValid())
            dated.modified = loggedDates().refine(version.path, entry.modified);
        finish(restored, dated, finalPath);
    }

    // Read at the first archive that carries only the DOS date, and once.
    const LoggedFileDates& loggedDates()
    {
        if (!m_loggedDates)
            m_loggedDates.emplace(TQuayRegistryObject().ReadLogFile());
        return *m_loggedDates;
    }

    bool mayWriteOver(const QString& finalPath, const SavedVersion& version)
    {
        if (m_yesToAll)
            return true;
        const Prompt::Answer answer = Services::prompt().ask(
            QStringLiteral("%1 already exists.\n\nWrite over it with the version saved %2?")
                .arg(finalPath, version.noteDate.toLocalTime().toString(
                                    QStringLiteral("yyyy-MM-dd hh:mm:ss"))),
            Prompt::Buttons::YesNoAllCancel, Prompt::Icon::Confirmation);
        switch (answer) {
        case Prompt::Answer::Yes:
            return true;
        case Prompt::Answer::YesToAll:
            m_yesToAll = true;
            return true;
        case Prompt::Answer::No:
            return false;
        default:
            cancelled = true;
            return false;
        }
    }

    // The wrong password is told once a run; a user who gives up is not asked again.
    std::optional<QString> askPassword()
    {
        if (m_gaveUp)
            return std::nullopt;
        if (!m_told) {
            m_told = true;
            Services::prompt().notify(
                QStringLiteral("The zip password does not open the saved files. Enter the zip "
                               "password they were saved with."),
                Prompt::Icon::Warning);
        }
        std::optional<QString> password = Services::prompt().inputPassword(
            QStringLiteral("Zip Password"), QStringLiteral("Zip password of the saved files:"));
        if (!password || password->isEmpty()) {
            m_gaveUp = true;
            return std::nullopt;
        }
        return SavedArchive::packedPassword(*password);
    }

    // The file is whole and checked: it is closed under its temporary name and made
    // durable and renamed into place with the files after it, a batch at a time, so
    // that a thousand small files cost a few flushes of the disk rather than two
    // thousand. Nothing appears under the final name before its bytes are on the disk.
    void finish(PartialFile& restored, const SavedArchive::Entry& entry, const QString& finalPath)
    {
        const int fd = restored.file.handle();
        // The recorded bits keep a private file private; the umask still applies, as
        // to any file the user makes, so an archive cannot make one writable for all.
        const mode_t recorded = entry.permissions ? static_cast<mode_t>(*entry.permissions) : 0666;
        const mode_t mode = recorded & ~currentUmask();
        if (!restored.file.flush())
            throw KestrelError(
                QStringLiteral("could not write the file: %1").arg(restored.file.errorString()));
        if (::fchmod(fd, mode) != 0)
            throw KestrelError(QStringLiteral("could not write the file: %1").arg(systemReason()));
        if (entry.modified.isValid())
            restored.file.setFileTime(entry.modified, QFileDevice::FileModificationTime);
        const qint64 size = restored.file.size();
#ifdef SYNC_FILE_RANGE_WRITE
        // The disk starts on it now; the flush of the batch then waits less.
        ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
        restored.file.close();
        m_settling.append({restored.path, finalPath, m_position});
        m_settlingBytes += size;
        restored.keep();
        if (m_settling.size() >= SettleFiles || m_settlingBytes >= SettleBytes)
            settle();
    }

public:
    struct SettleFailure
    {
        qsizetype position;
        QString reason;
    };

    // Makes the files restored so far durable and puts them in place; those the disk
    // refused at the last moment are kept for takeSettleFailures().
    void settle()
    {
        QStringList folders;
        for (const Settling& file : std::as_const(m_settling)) {
            const QByteArray temporary = QFile::encodeName(file.temporary);
            // The disk may refuse the data only now, when it is asked to keep it.
            const int fd = ::open(temporary.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            QString reason;
            if (fd < 0 || ::fsync(fd) != 0)
                reason = QStringLiteral("could not write the file: %1").arg(systemReason());
            else if (std::rename(temporary.constData(),
                                 QFile::encodeName(file.finalPath).constData()) != 0)
                reason = QStringLiteral("could not rename the file: %1").arg(systemReason());
            if (fd >= 0)
                ::close(fd);
            if (!reason.isEmpty()) {
                QFile::remove(file.temporary);
                m_failedToSettle.append({file.position, reason});
                continue;
            }
            const QString folder = QFileInfo(file.finalPath).absolutePath();
            if (!folders.contains(folder))
                folders.append(folder);
        }
        m_settling.clear();
        m_settlingBytes = 0;
        for (const QString& folder : std::as_const(folders))
            syncFolder(folder);
    }

    // The files that failed in a batch settled since the last call.
    QList<SettleFailure> takeSettleFailures()
    {
        return std::exchange(m_failedToSettle, {});
    }

private:
    struct Settling
    {
        QString temporary;
        QString finalPath;
        qsizetype position;
    };
    static constexpr qsizetype SettleFiles = 64;
    static constexpr qint64 SettleBytes = 32 * 1024 * 1024;

    bool isSettling(const QString& finalPath) const
    {
        return std::any_of(m_settling.begin(), m_settling.end(),
                           [&](const Settling& file) { return file.finalPath == finalPath; });
    }

    MailboxReader& m_reader;
    const StepRunner& m_runner;
    QString& m_password;
    RestoreProgress& m_progress;
    qint64 m_total = 0;
    std::optional<LoggedFileDates> m_loggedDates;
    qint64 m_done = 0;
    bool m_yesToAll = false;
    bool m_told = false;
    bool m_gaveUp = false;
    bool m_connectionBroke = false;
    QString m_reopenProblem;
    QList<SavedVersion> m_queue;
    qsizetype m_position = 0;
    qsizetype m_expectedUpTo = 0;
    QList<Settling> m_settling;
    qint64 m_settlingBytes = 0;
    QList<SettleFailure> m_failedToSettle;
};

} // namespace

MailboxRestore::Summary MailboxRestore::restore(const QList<SavedVersion>& versions,
                                                RestoreProgress& progress)
{
    Summary summary;
    qint64 total = 0;
    for (const SavedVersion& version : versions)
        total = addSizes(total, version.archiveSize());
    m_password = SavedArchive::packedPassword(m_password);
    RestoreRun run(m_reader, m_runStep, m_password, progress, total);
    if (m_writeOver)
        run.writeOverAll();
    if (m_state.uidValidity != 0)
        run.uidValidity = m_state.uidValidity;
    std::optional<RestoreTarget> target;
    QString targetProblem;
    try {
        target.emplace(m_target);
    } catch (const KestrelError& error) {
        targetProblem = error.message();
    }
    run.setQueue(versions);
    // A file counted as restored that the disk refused when its batch was settled.
    const auto failLate = [&summary](const QList<RestoreRun::SettleFailure>& failures) {
        for (const RestoreRun::SettleFailure& failure : failures) {
            ItemResult& item = summary.items[failure.position];
            if (item.outcome == Outcome::Restored) {
                --summary.restored;
                ++summary.failed;
            }
            item.outcome = Outcome::Failed;
            item.reason = failure.reason;
        }
    };
    for (qsizetype position = 0; position < versions.size(); ++position) {
        const SavedVersion& version = versions[position];
        run.setPosition(position);
        ItemResult item{version.path, Outcome::Skipped, QStringLiteral("cancelled")};
        if (!target)
            item = {version.path, Outcome::Failed, targetProblem};
        else if (!run.cancelled && !progress.cancelRequested())
            item = run.restore(version, *target);
        else
            run.cancelled = true;
        if (item.outcome == Outcome::Restored)
            ++summary.restored;
        else if (item.outcome == Outcome::Skipped)
            ++summary.skipped;
        else
            ++summary.failed;
        summary.items.append(item);
        failLate(run.takeSettleFailures());
    }
    run.settle();
    failLate(run.takeSettleFailures());
    summary.cancelled = run.cancelled;
    progress.progress(total, total);
    return summary;
}
