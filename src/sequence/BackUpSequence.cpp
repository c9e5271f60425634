#include "sequence/BackUpSequence.h"

#include "backupdata/BackUpLogReader.h"
#include "backupdata/FolderListing.h"
#include "backupdata/KestrelFolders.h"
#include "backupdata/LocalFileStatus.h"
#include "backupdata/SelectionList.h"
#include "backupdata/SelectionListText.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/DateTimeText.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/CdBurnCompletion.h"
#include "sequence/CdSequenceTransport.h"
#include "sequence/DriveSequenceTransport.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceLock.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWindow.h"
#include "sequence/SequenceWorkerThread.h"
#include "transport/CDBurner.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStringBuilder>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

namespace {

// A list or log the sequence needs is created empty and private when it is missing;
// one that cannot be created stops the sequence with the file's path.
void ensureFileExists(const QString& path)
{
    if (QFileInfo::exists(path)) {
        PrivateFiles::tightenFile(path);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw KestrelError(QStringLiteral("Could not create %1: %2").arg(path, file.errorString()));
    PrivateFiles::makePrivate(file);
}

} // namespace

BackUpSequence::BackUpSequence(SequenceWindow& window, SequenceCompletion& completion)
    : m_window(window), m_completion(completion), m_state(completion.state())
{}

BackUpSequence::~BackUpSequence() = default;

bool BackUpSequence::cancelled() const
{
    return m_state.SequenceCancelled;
}

bool BackUpSequence::goingOn() const
{
    return !cancelled() && m_run.continueRun;
}

void BackUpSequence::stopWith(const QString& reason)
{
    m_state.reportCause(m_window, QStringLiteral("The back up sequence cannot go on."));
    m_state.reportCause(m_window, reason);
    m_run.continueRun = false;
}

void BackUpSequence::reportNotBackedUp(const QStringList& sentences)
{
    for (const QString& sentence : sentences)
        m_run.reportNotBackedUp(m_window, sentence);
}

void BackUpSequence::RunBackUpSequence()
{
    if (m_running)
        return;
    // A sequence of this edition in another process (the window program or a run
    // without a window) would walk and mail the same lists and log.
    SequenceLock lock;
    if (!lock.tryLock()) {
        m_window.addStatusLine(lock.problem());
        return;
    }
    m_running = true;
    m_completion.setDriverRunning(true);
    const auto finished = qScopeGuard([this] {
        m_transport.reset();
        m_file.reset();
        m_log.reset();
        m_worker.reset();
        m_walk.clear();
        m_prefetchThread.reset();
        m_helper.reset();
        m_running = false;
        m_completion.setDriverRunning(false);
    });

    // Whatever stops the sequence outside the per-file guards still ends it, so the
    // window never stays in the running state.
    const auto guarded = [this](const std::function<void()>& step) {
        try {
            step();
            return true;
        } catch (const KestrelError& error) {
            stopWith(error.message());
        } catch (const std::exception&) {
            stopWith(QString());
        }
        return false;
    };

    start();
    if (guarded([this] { prepare(); })) {
        m_transport = makeTransport();
        if (!m_transport) {
            m_window.addStatusLine(
                QStringLiteral("This version of the program cannot back up to a drive or a disc."));
            m_run.continueRun = false;
        } else {
            guarded([this] {
                m_transport->open(m_run);
                if (m_transport->stoppedAtOpen())
                    return;
                m_window.addStatusLine(QString());
                m_window.addStatusLine(QStringLiteral("Processing files from files list..."));
                walkFilesList();
                m_run.walkingFolders = true;
                m_window.addStatusLine(QString());
                m_window.addStatusLine(QStringLiteral("Processing files from folders list..."));
                walkFolders();
                if (const QString leftOut =
                        FolderWalk::leftOutSummary(m_walk.leftOutFiles(), m_walk.leftOutFolders());
                    !leftOut.isEmpty()) {
                    m_window.addStatusLine(QString());
                    m_window.addStatusLine(leftOut);
                }
                finishWalks();
                if (m_estimate.flush(m_bytesDone, Services::clock().tickMs()))
                    m_window.setTransferText(m_estimate.text());
            });
            m_window.addStatusLine(QString());
            Services::clock().waitPumping(0);
            guarded([this] { m_transport->close(m_run); });
        }
    }
    if (!m_transport || !m_transport->endsSequence())
        chooseEnd();
}

void BackUpSequence::start()
{
    m_window.setStatusColour(SequenceWindow::StatusColour::Blue);
    m_state.PendingLogLines.clear();
    m_window.setRunButtonEnabled(false);
    m_window.setCancelButtonEnabled(true);
    m_state.SequenceCancelled = false;
    m_state.cancelledByUser = false;
    m_state.failureAdvice.clear();
    m_state.failureCauses.clear();
    m_window.clearLastingStatusLines();
    m_run = SequenceRun{};
    m_run.fileSent = [this](double part) {
        showTransfer(part, false);
    };
    m_state.choices = m_window.userChoices();
    m_fullBackUp = m_state.choices.backUpType == SequenceChoices::BackUpType::Full;
    m_worker = std::make_unique<SequenceWorkerThread>();
    m_helper = std::make_unique<SequenceWorkerThread>();
    m_prefetchThread = std::make_unique<SequenceWorkerThread>();
    m_filesSincePump = 0;
    m_transfersStarted = 0;
    m_lastPumpMs = Services::clock().tickMs();
    m_bytesDue = -1;
    m_filesDue = 0;
    m_bytesDone = 0;
    m_estimate = TransferEstimate(isMailEdition(currentEdition()) ? QStringLiteral("sent")
                                                                  : QStringLiteral("copied"));
    m_window.setTransferText(QString());
    m_log = std::make_unique<TTernBackUpFileObjectList>();
}

void BackUpSequence::prepare()
{
    const TQuayRegistryObject store;
    m_file = std::make_unique<TTernFileObject>();
    store.WriteBackUpSequenceSuccess(true);
    store.WriteSequenceStoppedByUser(false);
    // The limit is read after the settings page is stored, so a limit the user has
    // just typed applies to this sequence.
    m_window.saveUserChoices();
    m_run.maxBytes = store.ReadMaxNumberOfBytesToBackedUp();
    if (isMailEdition(currentEdition()))
        m_run.maxMessages = std::max(0, store.ReadMaxMessagesPerSequence());
    const QString logFile = store.ReadLogFile();
    const QString filesList = store.ReadFileOfFiles();
    const QString foldersList = store.ReadFileOfDirectories();

    m_window.addStatusLine(QString());
    m_window.addStatusLine(QStringLiteral("Back up sequence started: ") +
                           dateTimeText(Services::clock().now()));
    m_window.addStatusLine(QStringLiteral("Refreshing log file data..."));
    // Before any list is made: a profile without lists yet is a new one.
    m_walk.setFilter(WalkFilter::fromSettings());
    ensureFileExists(logFile);
    if (cancelled())
        return;
    // Reading the log and reading the lists and folders do not depend on each other:
    // they run on two threads while the window waits for both.
    BackUpLogReadResult logResult;
    const SequenceWorkerThread::PendingStep logRead =
        m_helper->start([&logResult, &logFile, log = m_log.get()] {
            logResult = BackUpLogReader::readAll(logFile, *log);
        });
    try {
        buildLists(filesList, foldersList);
    } catch (...) {
        // The failure of the lists is the one reported; the read must end first, as
        // it fills this run's log.
        SequenceWorkerThread::waitQuietly(logRead);
        throw;
    }
    // The files of the folders are looked at ahead from now on, while the log is
    // still read, the session is opened and the files list is walked.
    m_walk.startLookAhead(*m_prefetchThread);
    SequenceWorkerThread::wait(logRead);
    reportDamagedLines(logFile, logResult);
    if (!cancelled()) {
        m_window.setFileNumberText(QStringLiteral("1"));
        m_window.setNumberOfFilesText(QString::number(m_run.totalFiles));
        m_window.setProgressRange(0, m_run.totalFiles);
        m_window.setProgressStep(1);
        Services::clock().waitPumping(0);
    }
}

void BackUpSequence::reportDamagedLines(const QString& logFile, const BackUpLogReadResult& result)
{
    // A damaged line costs only its own record: the file it described is due again.
    // The log file itself is left as it is.
    const QList<BackUpLogDamage>& damaged = result.damagedLines;
    for (qsizetype i = 0; i < damaged.size() && i < MaxReportedDamagedLines; ++i) {
        m_window.addStatusLine(QStringLiteral("Line %1 of the back up log %2 is damaged and was "
                                              "skipped: %3")
                                   .arg(damaged[i].lineNumber)
                                   .arg(logFile, damaged[i].reason));
    }
    if (damaged.size() > MaxReportedDamagedLines) {
        m_window.addStatusLine(QStringLiteral("%1 more damaged lines of the back up log were "
                                              "skipped.")
                                   .arg(damaged.size() - MaxReportedDamagedLines));
    }
}

void BackUpSequence::buildLists(const QString& filesList, const QString& foldersList)
{
    const TQuayRegistryObject store;
    store.WriteNumberOfFilesInLastSequence(0);
    m_run.totalFiles = 0;
    m_window.addStatusLine(QStringLiteral("Initialising file list..."));
    ensureFileExists(filesList);
    for (const QString& path : readSelectionList(filesList)) {
        const QString reason = m_walk.pickedFileLeftOut(path, LocalFileStatus::of(path));
        if (reason.isEmpty())
            ++m_run.totalFiles;
        else
            m_walk.leaveOut(path, reason, false);
    }

    m_window.addStatusLine(QStringLiteral("Initialising primary folders list..."));
    const bool subFolders = m_state.choices.backUpSubFolders;
    if (subFolders)
        m_window.addStatusLine(QStringLiteral("Initialising sub folders list.  This can several "
                                              "minutes for large folder trees..."));
    ensureFileExists(foldersList);

    // Expanding and counting run on the worker, so the window (and its dots timer)
    // stays alive through large folder trees.
    m_window.startFolderDotsTimer();
    const auto stopDots = qScopeGuard([this] { m_window.stopFolderDotsTimer(); });
    // The walk below the listed folders keeps what it reads, so each folder is read
    // once here, and once more only when the walk reaches it late.
    m_worker->run([&] { m_walk.read(readSelectionList(foldersList), subFolders); });
    m_walk.setReadAtMs(Services::clock().tickMs());
    m_run.folderList = m_walk.folders();
    m_run.totalFiles += static_cast<int>(m_walk.fileCount());
    reportNotBackedUp(m_walk.problems());
}

void BackUpSequence::walkFilesList()
{
    const QString filesList = TQuayRegistryObject().ReadFileOfFiles();
    if (cancelled() || !QFileInfo::exists(filesList))
        return;
    const QStringList paths = readSelectionList(filesList);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (!goingOn())
            break;
        const LocalFileStatus status = LocalFileStatus::of(paths.at(i));
        if (const QString reason = m_walk.pickedFileLeftOut(paths.at(i), status);
            !reason.isEmpty()) {
            m_walk.leaveOut(paths.at(i), reason, false);
            continue;
        }
        const auto nextDue = [this, &paths, i] {
            if (i + 1 >= paths.size())
                return QString();
            const LocalFileStatus next = LocalFileStatus::of(paths.at(i + 1));
            if (!m_walk.pickedFileLeftOut(paths.at(i + 1), next).isEmpty())
                return QString();
            return dueOrEmpty(paths.at(i + 1), next);
        };
        processFile(paths.at(i), status, nextDue);
    }
}

void BackUpSequence::walkFolders()
{
    for (qsizetype index = 0; index < m_run.folderList.size(); ++index) {
        if (!goingOn())
            break;
        std::optional<FolderWalk::Visit> visit =
            m_walk.visit(index, Services::clock().tickMs(), m_transfersStarted > 0);
        if (!visit)
            continue;
        const FolderListing& listing = visit->listing();
        // A folder that is there but cannot be read has no listing to walk.
        if (listing.device == 0 && listing.inode == 0)
            reportNotBackedUp({unreadableFolderMessage(visit->folder())});
        reportNotBackedUp(listing.fileProblems);
        // A failure inside the folder still lets its remaining names be reported;
        // Cancel stops at once.
        for (qsizetype i = 0; i < visit->fileCount(); ++i) {
            if (cancelled())
                break;
            const QString path = visit->pathOf(i);
            const LocalFileStatus status = visit->statusOf(i, m_transfersStarted > 0);
            if (m_walk.leavesOutBySize(path, status))
                continue;
            const auto nextDue = [&, i] {
                if (i + 1 >= visit->fileCount())
                    return QString();
                const QString nextPath = visit->pathOf(i + 1);
                const LocalFileStatus next = visit->currentStatusOf(i + 1);
                if (next.isFile && !m_walk.filter().fileSizeLeftOut(next.size).isEmpty())
                    return QString();
                return dueOrEmpty(nextPath, next);
            };
            processFile(path, status, nextDue);
        }
    }
}

QString BackUpSequence::dueOrEmpty(const QString& path, const LocalFileStatus& status) const
{
    if (status.isFile && (m_fullBackUp || m_log->IsDueAt(path, status.fileDateSeconds)))
        return path;
    return QString();
}

void BackUpSequence::countDue(const QString& filesList)
{
    qint64 files = 0;
    const auto due = [this, &files](const QString& path, const LocalFileStatus& status) {
        const bool isDue = !dueOrEmpty(path, status).isEmpty();
        files += isDue ? 1 : 0;
        return isDue;
    };
    qint64 bytes = 0;
    QStringList picked;
    try {
        picked = readSelectionList(filesList);
    } catch (const KestrelError&) {
        // The walk says what is wrong with the list; the line then has no total.
        return;
    }
    for (const QString& path : std::as_const(picked)) {
        const LocalFileStatus status = LocalFileStatus::of(path);
        if (m_walk.pickedFileLeftOut(path, status).isEmpty() && due(path, status))
            bytes += status.size;
    }
    m_bytesDue = bytes + m_walk.bytesOf(due);
    m_filesDue = files;
}

void BackUpSequence::showTransfer(double filePart, bool fileEnded)
{
    const auto partBytes = static_cast<qint64>(filePart * static_cast<double>(m_fileBytes));
    if (m_estimate.update(m_bytesDone + partBytes, Services::clock().tickMs(), fileEnded))
        m_window.setTransferText(m_estimate.text());
}

void BackUpSequence::processFile(const QString& path, const LocalFileStatus& before,
                                 const std::function<QString()>& nextDue)
{
    m_file->SetFileName(path);
    m_window.clearStatus();
    QString report = QStringLiteral("Back up copy of ") % path % QStringLiteral(" is current");
    ++m_run.fileIndex;
    m_window.stepProgress();
    try {
        // The file is looked at again after its transport step: it may change or go
        // while it is sent, and the report describes it as it is then. A file that was
        // not sent is as it was.
        LocalFileStatus after = before;
        std::optional<bool> dueAfter;
        // A due file that the transport did not save (it failed, or the run had
        // stopped before its turn) is never reported as backed up.
        bool wanted = false;
        bool saved = false;
        if (before.isFile && goingOn()) {
            const bool due = m_fullBackUp || m_log->IsDueAt(path, before.fileDateSeconds);
            if (due && m_run.messageLimitReached) {
                // Only counted: the message limit has been met.
                ++m_run.filesWaiting;
                m_window.addStatusLine(path + QStringLiteral(" waits for the next sequence."));
                m_window.addStatusLine(QString());
                m_window.setFileNumberText(QString::number(m_run.fileIndex));
                pumpEvents();
                return;
            }
            if (due) {
                wanted = true;
                // Looking ahead ends with the first file sent; it must not compete
                // with the transport either.
                if (m_transfersStarted++ == 0) {
                    m_walk.stopLookAhead();
                    // What is due is counted when the first due file is found, so a
                    // run with nothing to send never looks at its files twice.
                    m_worker->run([this, filesList = TQuayRegistryObject().ReadFileOfFiles()] {
                        countDue(filesList);
                    });
                }
                // The transport may start on the next due file while this one goes.
                if (const QString next = nextDue(); !next.isEmpty())
                    m_transport->expectNext(next);
                // The rate counts from the first due file on, so the time spent
                // connecting and reading the log does not slow it.
                if (!m_estimate.started())
                    m_estimate.start(m_bytesDue, Services::clock().tickMs(), m_filesDue,
                                     isMailEdition(currentEdition())
                                         ? MailSequenceTransport::PauseAfterFileMs
                                         : 0);
                // Each transport counts exactly the files it saved.
                const int savedBefore = m_run.filesSent;
                m_fileBytes = before.size;
                m_transport->transfer(*m_file, m_run);
                saved = m_run.filesSent > savedBefore;
                // A file that failed is over as well: the rest is what is left.
                m_bytesDone += std::exchange(m_fileBytes, 0);
                showTransfer(0.0, true);
                report = saved ? QStringLiteral("Backed up version of ") + path +
                                     QStringLiteral(" is superseded.")
                               : path + QStringLiteral(" was not backed up.");
                after = LocalFileStatus::of(path);
            } else {
                dueAfter = false;
            }
        } else if (before.isFile &&
                   (m_fullBackUp || m_log->IsDueAt(path, before.fileDateSeconds))) {
            wanted = true;
            report = path + QStringLiteral(" was not backed up.");
        }
        if (!after.isFile && goingOn())
            report = path + QStringLiteral(" no longer exists.");
        if (m_fullBackUp)
            report = QStringLiteral("Full backed up of ") + path + QStringLiteral(" requested.");
        m_window.addStatusLine(report);
        if (wanted && !saved) {
            m_window.addStatusLine(NotBackedUpLine);
        } else {
            if (!dueAfter)
                dueAfter = m_fullBackUp || m_log->IsDueAt(path, after.fileDateSeconds);
            m_window.addStatusLine(*dueAfter ? QStringLiteral("- latest file backed up.")
                                             : QStringLiteral("- no backed up required."));
        }
        m_window.addStatusLine(QString());
        m_window.setFileNumberText(QString::number(m_run.fileIndex));
        pumpEvents();
    } catch (const std::exception& error) {
        m_state.reportCause(m_window,
                            QStringLiteral("An error in the back up sequence has occured."));
        m_state.reportCause(m_window,
                            path + QStringLiteral(": ") + QString::fromUtf8(error.what()));
        m_run.continueRun = false;
    }
}

void BackUpSequence::pumpEvents()
{
    // Files that are current take microseconds each: processing the window's events
    // after every one of them would cost more than looking at the files. Events are
    // processed every few files or milliseconds, which the user cannot tell apart.
    const qint64 nowMs = Services::clock().tickMs();
    // A line the interval held back at a file's end comes with a later file.
    if (m_estimate.started())
        showTransfer(0.0, false);
    if (++m_filesSincePump < FilesBetweenPumps && nowMs - m_lastPumpMs < MsBetweenPumps)
        return;
    Services::clock().waitPumping(0);
    m_filesSincePump = 0;
    m_lastPumpMs = Services::clock().tickMs();
}

void BackUpSequence::finishWalks()
{
    if (m_run.messageLimitReached) {
        m_window.addStatusLine(m_run.filesWaiting == 1
                                   ? QStringLiteral("1 file waits for the next back up sequence.")
                                   : QStringLiteral("%1 files wait for the next back up sequence.")
                                         .arg(m_run.filesWaiting));
        // As at the byte limit, the log goes with the next sequence.
        return;
    }
    if (!goingOn())
        return;
    m_window.loadLogIntoTree();
    Services::clock().waitPumping(0);
    try {
        m_transport->finishWalks(*m_file, m_run);
    } catch (const KestrelError& error) {
        m_state.reportCause(m_window, QStringLiteral("Could not send the back up log file."));
        m_state.reportCause(m_window, error.message());
        m_run.continueRun = false;
    }
}

std::unique_ptr<SequenceTransport> BackUpSequence::makeTransport()
{
    // The drive and disc branches plug in here, each as a SequenceTransport.
    if (isMailEdition(currentEdition())) {
        auto transport =
            std::make_unique<MailSequenceTransport>(m_window, m_state, *m_worker, m_sessionSetup);
        transport->setHelper(m_helper.get());
        return transport;
    }
    if (currentEdition() == Edition::KestrelDrive)
        return std::make_unique<DriveSequenceTransport>(m_window, m_state, *m_worker);
    if (isEdition(Edition::KestrelCD)) {
        // A new burner reads the burner setting afresh; one that still burns stays.
        if (!burning()) {
            m_burner = std::make_unique<TCDBurner>(m_discWriter);
            TCDBurner* burner = m_burner.get();
            QObject::connect(burner, &TCDBurner::OnBurnDone, burner, [this, burner](int) {
                CdBurnCompletion::OnBurnDone(m_window, m_completion, *burner);
            });
        }
        return std::make_unique<CdSequenceTransport>(m_window, m_completion, *m_burner);
    }
    return nullptr;
}

bool BackUpSequence::burning() const
{
    return m_burner && m_burner->IsBurning();
}

void BackUpSequence::chooseEnd()
{
    // A run stopped by the byte limit counts as successful; one that could not back
    // up some of its files does not, so the user is warned.
    const bool wentThrough = !cancelled() && (m_run.continueRun || m_run.maxReached);
    m_completion.setSentThisSequence(m_run.filesSent, m_run.bytesThisSequence, m_run.maxReached,
                                     m_run.messageLimitReached ? m_run.filesWaiting : -1);
    if (wentThrough && m_run.notBackedUp.isEmpty())
        m_completion.EndSequenceSucceeded();
    else
        m_completion.EndSequenceFailed(m_run.notBackedUp, wentThrough);
    m_window.setFileNumberText(QString());
    m_window.setNumberOfFilesText(QString());
    m_window.setTransferText(QString());
}
