#include "sequence/SequenceCompletion.h"

#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/DateTimeText.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/SequenceDataFile.h"
#include "sequence/SequenceEndNotice.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWindow.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

SequenceCompletion::SequenceCompletion(SequenceWindow& window, SequenceState& state)
    : m_window(window), m_state(state)
{}

QString SequenceCompletion::SequenceDateStamp()
{
    return sequenceDateStamp(Services::clock().now());
}

void SequenceCompletion::EndSequenceSucceeded()
{
    const TQuayRegistryObject store;
    store.WriteSequenceMessage(QString());
    resetFileCounters();
    appendPendingLogLines();
    const bool cancelled = m_state.SequenceCancelled;
    if (!cancelled) {
        if (store.ReadLoadLogTree()) {
            m_window.addStatusLine(QStringLiteral(
                "Updating log file tree.  (This will take several minutes if the log file is "
                "large"));
            m_window.loadLogIntoTree();
        }
        Services::clock().waitPumping(0);
    }
    restoreStagedBurnFiles();

    store.WriteNumberOfBackUpSequences(store.ReadNumberOfBackUpSequences() + 1);
    store.WriteLastBackUp(dateTimeText(Services::clock().now()));
    m_window.refreshFromSettings();
    m_window.addStatusLine(QString());
    m_window.addStatusLine((cancelled ? QStringLiteral("Sequence stopped by User at: ")
                                      : QStringLiteral("Back up sequence completed: ")) +
                           dateTimeText(Services::clock().now()));
    writeSequenceDataFile();
    returnToIdle();
    // Before the after-sequence actions, which may end the program.
    notifyDesktop(
        SequenceEndNotice::succeeded(m_filesSent, m_bytesSent, m_maxReached, m_filesWaiting));

    if (!m_state.SequenceCancelled) {
        hangUpIfWanted();
        if (store.ReadShutDown() || m_state.ShutDownTriggered)
            openShutDownCountdown();
        if (store.ReadCloseApplicationAfterSequence())
            m_window.terminateApplication();
    }
    m_window.refreshFromSettings();
    m_outcome = Outcome::Succeeded;
}

void SequenceCompletion::EndSequenceFailed(const QStringList& notBackedUp, bool otherwiseComplete)
{
    const TQuayRegistryObject store;
    const bool stoppedByUser = m_state.cancelledByUser;
    const bool incomplete = !stoppedByUser && otherwiseComplete && !notBackedUp.isEmpty();
    const bool mail = isMailEdition(currentEdition());
    // The memo's line of why the sequence failed, also the notification's.
    QString reasonLine;
    QString message;
    if (stoppedByUser) {
        // The user knows why it stopped: no warning, and the summary says cancelled.
        reasonLine =
            QStringLiteral("Sequence stopped by User at: ") + dateTimeText(Services::clock().now());
    } else if (incomplete) {
        const QString count = notBackedUp.size() == 1
                                  ? QStringLiteral("1 file or folder")
                                  : QStringLiteral("%1 files or folders").arg(notBackedUp.size());
        message = QStringLiteral("Last back up sequence could not back up %1.  The sequence data "
                                 "file names them; they are tried again in the next sequence.")
                      .arg(count);
        reasonLine =
            QStringLiteral("Back up sequence completed, but %1 could not be backed up.").arg(count);
    } else if (mail) {
        // "Please check your connection" only where the connection may be at fault.
        const QString advice = m_state.failureAdvice.isEmpty()
                                   ? QStringLiteral("Please check your connection.")
                                   : m_state.failureAdvice;
        message = QStringLiteral("Last back up sequence failed to complete.  ") + advice;
        reasonLine = QStringLiteral("Back up sequence failed to complete.  ") + advice;
    } else {
        message = m_state.MediaFull
                      ? QStringLiteral("Last back up sequence failed to complete.  Your media is "
                                       "full.")
                      : QStringLiteral("Last back up sequence failed to complete.  Please check "
                                       "your media.");
        reasonLine =
            QStringLiteral("Back up sequence failed to complete.  Please check your media.");
    }
    // The warning names what stopped the sequence, as the memo does.
    const QStringList causes = m_state.failureCauses.mid(0, MaxCausesInWarning);
    if (!message.isEmpty() && !causes.isEmpty())
        message += QStringLiteral("\n\n") + causes.join(QLatin1Char('\n'));
    store.WriteSequenceMessage(message);
    store.WriteBackUpSequenceSuccess(false);
    store.WriteSequenceStoppedByUser(stoppedByUser);
    // A stopped sequence says so below the summary, as the success end does.
    const QStringList stoppedLines =
        stoppedByUser ? QStringList{QString(), reasonLine} : QStringList{};
    if (!stoppedByUser)
        m_window.addStatusLine(reasonLine);
    // Files copied or burnt before the end are in the backup whatever stopped it.
    if (!mail || incomplete) {
        appendPendingLogLines();
        restoreStagedBurnFiles();
    }
    resetFileCounters();
    m_state.PendingLogLines.clear();
    // The causes and the list go into the memo below the summary that replaces the
    // memo, so that they stay in view; a window without a memo to replace (the run
    // without a window writes each line out as it comes) shows them once more at the end.
    QStringList endLines = causeLines(m_window.statusLines());
    const QStringList listLines = notBackedUpLines(notBackedUp) + stoppedLines;
    writeSequenceDataFile(endLines + listLines);
    endLines = causeLines({});
    returnToIdle();
    m_window.refreshFromSettings();
    for (const QString& line : endLines + listLines)
        m_window.addStatusLine(line);
    // Before the after-sequence actions, which may end the program.
    notifyDesktop(SequenceEndNotice::failed(reasonLine, incomplete));

    if (!m_state.SequenceCancelled) {
        hangUpIfWanted();
        // The failed end leaves the user 30 s before the countdown opens.
        if (store.ReadShutDown() || m_state.ShutDownTriggered)
            m_window.startShutDownDelayTimer();
        if (store.ReadCloseApplicationAfterSequence())
            m_window.terminateApplication();
    }
    m_outcome = Outcome::Failed;
}

QStringList SequenceCompletion::causeLines(const QStringList& alreadyShown) const
{
    QStringList lines;
    for (const QString& cause : m_state.failureCauses) {
        if (!alreadyShown.contains(cause))
            lines.append(cause);
    }
    if (lines.isEmpty())
        return {};
    return QStringList{QString(), QStringLiteral("What stopped the back up sequence:")} + lines;
}

void SequenceCompletion::CancelSequence()
{
    m_state.cancelByUser();
    m_window.setCancelButtonEnabled(false);
    m_window.setProgressPosition(0);
    EndSequenceFailed();
}

void SequenceCompletion::setDriverRunning(bool running)
{
    m_driverRunning = running;
    if (running) {
        m_idle = false;
        // A new sequence: nothing sent yet, and its end is still to be told.
        setSentThisSequence(0, 0.0, false);
        m_desktopNotified = false;
    } else if (m_idle) {
        m_window.setRunButtonEnabled(true);
    }
}

void SequenceCompletion::setSentThisSequence(int files, double bytes, bool maxReached,
                                             int filesWaiting)
{
    m_filesSent = files;
    m_bytesSent = bytes;
    m_maxReached = maxReached;
    m_filesWaiting = filesWaiting;
}

void SequenceCompletion::HangUpAndShutDownIfSet()
{
    const TQuayRegistryObject store;
    if (store.ReadDialUpDisconnect())
        Services::dialUp().hangUp();
    if (store.ReadShutDown() || m_state.ShutDownTriggered)
        openShutDownCountdown();
}

void SequenceCompletion::ShutDownDelayElapsed()
{
    openShutDownCountdown();
}

void SequenceCompletion::ShowSequenceMessageOnce()
{
    const TQuayRegistryObject store;
    const QString message = store.ReadSequenceMessage();
    // A box while a sequence runs would hold its window's events; it waits for the end.
    if (message.isEmpty() || m_driverRunning)
        return;
    // Cleared before the box is shown: the focus coming back when the box closes
    // must not show it again.
    store.WriteSequenceMessage(QString());
    Services::prompt().notify(message, Prompt::Icon::Warning);
}

void SequenceCompletion::appendPendingLogLines()
{
    QStringList& pending = m_state.PendingLogLines;
    // A file object advances the files-processed counter, so one is made only when
    // there are lines to write.
    if (pending.isEmpty())
        return;
    TTernFileObject().AppendLinesToLog(pending);
    pending.clear();
}

QStringList SequenceCompletion::notBackedUpLines(const QStringList& notBackedUp)
{
    if (notBackedUp.isEmpty())
        return {};
    return QStringList{QString(), QStringLiteral("Not backed up in this sequence:")} + notBackedUp;
}

void SequenceCompletion::resetFileCounters()
{
    m_window.setFileCountersVisible(true);
    m_window.setFileNumberText(QString());
    m_window.setNumberOfFilesText(QString());
    m_window.setProcessingCaption(QStringLiteral("Processing File:"));
    m_window.setProgressRange(0, 100);
}

void SequenceCompletion::restoreStagedBurnFiles()
{
    // Only a disc sequence sets staged files aside, and only for its own edition's
    // burn area.
    if (!isEdition(Edition::KestrelCD))
        return;
    const QDir cdFolder(programFolder(Edition::KestrelCD));
    const QString setAside = cdFolder.filePath(QStringLiteral("TempBurnFolder"));
    if (!QFileInfo(setAside).isDir())
        return;
    const QString burnArea = cdFolder.filePath(QStringLiteral("Burn Area"));
    TTernFileObject::RemoveFolderTree(burnArea);
    m_window.addStatusLine(QStringLiteral("Restoring prevous files waiting to be burnt..."));
    if (QDir().rename(setAside, burnArea))
        m_window.addStatusLine(QStringLiteral("Existing files waiting to be burnt restored."));
    else
        m_window.addStatusLine(
            QStringLiteral("The files waiting to be burnt are still in %1.").arg(setAside));
}

void SequenceCompletion::writeSequenceDataFile(const QStringList& linesToCome)
{
    const QString stamp = SequenceDateStamp();
    TQuayRegistryObject().WriteSequenceFile(SequenceDataFile::fileName(stamp));
    // A data file that cannot be written must not keep the window in the running state.
    try {
        SequenceDataFile::write(m_window.statusLines() + linesToCome, stamp);
    } catch (const KestrelError& error) {
        m_window.addStatusLine(error.message());
    }
}

void SequenceCompletion::returnToIdle()
{
    m_idle = true;
    m_window.setProgressPosition(0);
    m_window.setRunButtonEnabled(!m_driverRunning);
    m_window.setCancelButtonEnabled(false);
}

void SequenceCompletion::hangUpIfWanted()
{
    if (!isMailEdition(currentEdition()))
        return;
    if (m_state.choices.disconnectAfterBackUp || TQuayRegistryObject().ReadDialUpDisconnect())
        Services::dialUp().hangUp();
}

void SequenceCompletion::notifyDesktop(const SequenceEndNotice& notice)
{
    // Once per sequence: Cancel during a run ends it, and the driver then ends it again.
    if (std::exchange(m_desktopNotified, true))
        return;
    if (m_state.SequenceCancelled || m_window.isInFront())
        return;
    Services::notifications().notify(notice.summary, notice.body);
}

void SequenceCompletion::openShutDownCountdown()
{
    Services::dialUp().hangUp();
    m_state.ShutDownTriggered = false;
    m_window.openShutDownCountdown();
}
