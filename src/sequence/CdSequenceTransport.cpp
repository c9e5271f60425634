#include "sequence/CdSequenceTransport.h"

#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceRun.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWindow.h"
#include "transport/CDBurner.h"
#include "transport/DiskInfo.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

CdSequenceTransport::CdSequenceTransport(SequenceWindow& window, SequenceCompletion& completion,
                                         TCDBurner& burner)
    : m_window(window), m_completion(completion), m_state(completion.state()), m_burner(burner)
{}

void CdSequenceTransport::open(SequenceRun& run)
{
    m_state.MediaFull = false;
    m_state.BurnFileList.Clear();
    if (!m_burner.Equipped()) {
        m_state.reportCause(m_window, QStringLiteral("Could not back up as either Window XP is "
                                                     "not installed or suitable burner is not "
                                                     "present."));
        m_state.reportCause(m_window, m_burner.LastError());
        // Says where the burner is chosen, so the user knows what to put right.
        if (m_burner.LastError() == TCDBurner::NoBurnerFound)
            m_state.reportCause(m_window, QStringLiteral("Choose the burner or an image file in "
                                                         "Back Up Drive on the Drive page."));
        m_unusable = true;
        run.continueRun = false;
        return;
    }
    if (m_burner.IsBurning()) {
        m_state.reportCause(
            m_window, QStringLiteral("Could not back up as Burner already in use or not ready."));
        m_unusable = true;
        run.continueRun = false;
        return;
    }
    const TQuayRegistryObject store;
    m_freeBytesOnMedia = TDiskInfo(m_burner).GetFreeBytesOnCD(store.ReadMediaCapacity());
    m_window.addStatusLine(QStringLiteral("Free space on CD: %1 bytes.").arg(m_freeBytesOnMedia));
    setStagedFilesAside();
    Services::clock().waitPumping(0);
}

void CdSequenceTransport::setStagedFilesAside()
{
    const QDir cdFolder(programFolder(Edition::KestrelCD));
    const QString setAside = cdFolder.filePath(QStringLiteral("TempBurnFolder"));
    if (QFileInfo::exists(setAside))
        TTernFileObject::RemoveFolderTree(setAside);
    const QString area = TCDBurner::BurnArea();
    if (m_burner.BurnSize() > 0) {
        m_window.addStatusLine(QStringLiteral(
            "Existing files waiting to be burnt.  Files will be temporarily moved."));
        m_window.addStatusLine(QStringLiteral("Moving files..."));
        if (QDir().rename(QDir::cleanPath(area), setAside))
            PrivateFiles::makePrivateFolder(area);
        m_window.addStatusLine(
            QStringLiteral("Existing files waiting to be burnt temporarily moved."));
    } else {
        m_burner.ClearFiles();
    }
}

bool CdSequenceTransport::transfer(TTernFileObject& file, SequenceRun& run)
{
    if (m_burnStopped)
        return false;
    const qint64 size = file.SizeForLimit();
    const qint64 next = m_stagedBytes + size;
    if (static_cast<double>(next) >= run.maxBytes || next >= m_freeBytesOnMedia) {
        m_window.addStatusLine(QString());
        m_window.addStatusLine(QStringLiteral(
            "Number of bytes to back up has reached the maximum number of free bytes available "
            "on the media or the maximum number of bytes to backup specified by the User.  The "
            "back up data will now be burned to the media."));
        m_burnStopped = true;
        run.continueRun = false;
        run.maxReached = true;
        if (m_burner.BurnSize() + size > m_freeBytesOnMedia)
            m_state.MediaFull = true;
        return false;
    }
    bool staged = false;
    try {
        staged = file.StageCopy(TCDBurner::BurnArea());
    } catch (const KestrelError&) {
        staged = false;
    }
    if (staged) {
        file.SetBackupDate(QDateTime(QDate::currentDate(), QTime(0, 0)));
        m_stagedBytes += size;
        run.bytesThisSequence += static_cast<double>(size);
        ++run.filesSent;
        m_state.BurnFileList.Add(file);
    } else {
        m_window.addStatusLine(QString());
        m_window.addStatusLine(
            run.walkingFolders
                ? QStringLiteral("Failed to add file to burn list.  File adding sequence "
                                 "aborted.  Burning process will be started.")
                : QStringLiteral("Failed to add file to burn list. File adding sequence "
                                 "aborted.  Buring process will be started."));
        m_burnStopped = true;
        run.continueRun = false;
    }
    return true;
}

void CdSequenceTransport::close(SequenceRun& run)
{
    if (m_unusable) {
        m_ended = true;
        m_completion.EndSequenceFailed();
        return;
    }
    // Files under 1 KiB count 0 bytes against the limits, but they are staged all
    // the same: whether to burn goes by the files staged, not by their count of bytes.
    if (m_state.BurnFileList.Count() > 0) {
        if (m_burner.IsBurning() || m_state.SequenceCancelled) {
            m_window.addStatusLine(
                QStringLiteral("Could not back up as the Burner is already in use or not ready."));
            run.continueRun = false;
            m_ended = true;
            m_completion.EndSequenceFailed();
            return;
        }
        m_window.addStatusLine(QStringLiteral("Starting to burn CD (Drive ") +
                               m_burner.BurnerDrive() + QStringLiteral(")..."));
        m_window.addStatusLine(
            QStringLiteral("Number of files to burn: %1").arg(m_state.BurnFileList.Count()));
        m_window.addStatusLine(
            QStringLiteral("Number of bytes to be burnt: ") +
            QString::number(static_cast<double>(m_stagedBytes) / 1048576.0, 'f', 3) +
            QStringLiteral(" MB"));
        const TQuayRegistryObject store;
        store.WriteNumberOfBytesBackedUp(store.ReadNumberOfBytesBackedUp() +
                                         static_cast<double>(m_burner.BurnSize()));
        m_window.addStatusLine(QString());
        m_window.setFileCountersVisible(false);
        m_ended = true;
        m_completion.setSentThisSequence(run.filesSent, run.bytesThisSequence, run.maxReached);
        m_burner.StartBurn();
        Services::clock().waitPumping(WaitAfterBurnStartMs);
        return;
    }
    m_ended = true;
    if (m_state.MediaFull) {
        m_state.reportCause(m_window, QStringLiteral("Media is full.  Please change your disk."));
        m_completion.EndSequenceFailed();
    } else {
        m_window.addStatusLine(QStringLiteral("No files require backing up."));
        m_completion.EndSequenceSucceeded();
    }
}
