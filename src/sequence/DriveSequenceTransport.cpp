#include "sequence/DriveSequenceTransport.h"

#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/SequenceRun.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWindow.h"
#include "sequence/SequenceWorkerThread.h"

#include <QFileInfo>

DriveSequenceTransport::DriveSequenceTransport(SequenceWindow& window, SequenceState& state,
                                               SequenceWorkerThread& worker, CopyStep copy)
    : m_window(window), m_state(state), m_worker(worker), m_copy(std::move(copy))
{
    if (!m_copy)
        m_copy = [](TTernFileObject& file, QString* reason) {
            return file.CopyToBackupFolder(reason);
        };
}

void DriveSequenceTransport::open(SequenceRun& run)
{
    // The settings page was stored when the run began, so this is the folder the
    // Back Up Folder field shows.
    const QString folder = TQuayRegistryObject().ReadUserBackUpEmailAddress();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        Services::clock().waitPumping(0);
        return;
    }
    m_window.addStatusLine(QString());
    m_state.reportCause(m_window,
                        QStringLiteral("Could not back up as back up folder not available."));
    m_state.reportCause(m_window, folder.isEmpty()
                                      ? QStringLiteral("No back up folder is chosen: choose one "
                                                       "on the Drive page.")
                                      : QStringLiteral("The back up folder %1 does not exist or "
                                                       "is not a folder.")
                                            .arg(folder));
    m_window.beep();
    Services::clock().sleep(MissingFolderPauseMs);
    m_folderMissing = true;
    run.continueRun = false;
}

QString DriveSequenceTransport::copyWithRetry(TTernFileObject& file)
{
    QString error;
    QString reason;
    bool retried = false;
    m_worker.run([&] {
        error = m_copy(file, &reason);
        if (!error.isEmpty()) {
            retried = true;
            error = m_copy(file, &reason);
        }
    });
    // After a retry its text is a line of the memo, empty when the retry succeeded.
    if (retried)
        m_window.addStatusLine(error);
    if (error.isEmpty())
        return QString();
    return reason.isEmpty() ? error : reason;
}

bool DriveSequenceTransport::transfer(TTernFileObject& file, SequenceRun& run)
{
    try {
        const QString failure = copyWithRetry(file);
        if (!failure.isEmpty()) {
            // A file that was not copied gets no record, so it stays due; the run goes
            // on with the next file and ends telling the user.
            run.reportNotBackedUp(m_window, QStringLiteral("%1 was not backed up: it could not "
                                                           "be copied to the back up folder (%2).")
                                                .arg(file.FileName(), failure));
            return true;
        }
        countAndRecord(file, run);
    } catch (const KestrelError& error) {
        m_state.reportCause(m_window,
                            QStringLiteral("Could not copy file as unknown error occured."));
        m_state.reportCause(m_window, error.message());
        run.continueRun = false;
    } catch (const std::exception&) {
        m_state.reportCause(m_window,
                            QStringLiteral("Could not copy file as unknown error occured."));
        m_state.reportCause(m_window, file.FileName());
        run.continueRun = false;
    }
    return true;
}

void DriveSequenceTransport::countAndRecord(TTernFileObject& file, SequenceRun& run)
{
    const qint64 size = file.SizeForLimit();
    const bool limitReached = run.bytesThisSequence + static_cast<double>(size) >= run.maxBytes;
    // The file that reaches the limit was copied but is left for the next run. The
    // first file of a run is kept even so: a file as large as the limit would
    // otherwise be copied anew by every run and stop it there, and the files after
    // it would never be backed up.
    if (!limitReached || run.filesSent == 0) {
        run.bytesThisSequence += static_cast<double>(size);
        m_state.PendingLogLines.append(file.RecordLine());
        ++run.filesSent;
        const TQuayRegistryObject store;
        store.WriteNumberOfFilesInLastSequence(store.ReadNumberOfFilesInLastSequence() + 1);
    }
    if (limitReached) {
        m_window.addStatusLine(QString());
        m_window.addStatusLine(QStringLiteral("Number of bytes to back up has reached the maximum "
                                              "number of bytes selected in this back up "
                                              "sequence."));
        run.continueRun = false;
        run.maxReached = true;
    }
}

void DriveSequenceTransport::finishWalks(TTernFileObject& /*file*/, SequenceRun& /*run*/)
{}

void DriveSequenceTransport::close(SequenceRun& run)
{
    Services::clock().waitPumping(0);
    const TQuayRegistryObject store;
    store.WriteNumberOfBytesBackedUp(store.ReadNumberOfBytesBackedUp() + run.bytesThisSequence);
}
