#pragma once

#include "sequence/SequenceTransport.h"

#include <functional>

class SequenceWindow;
struct SequenceState;
class SequenceWorkerThread;

// The drive branch of the sequence (KestrelDrive): every due file is copied below
// the backup folder, numbered unless the user allows overwriting, and its log line
// is kept in PendingLogLines for the end operation to write. Copies run on the
// sequence's worker thread, so the window stays alive through a large file.
class DriveSequenceTransport : public SequenceTransport
{
public:
    // One attempt at copying a file, as TTernFileObject::CopyToBackupFolder; tests
    // give one that fails when they want.
    using CopyStep = std::function<QString(TTernFileObject& file, QString* reason)>;

    DriveSequenceTransport(SequenceWindow& window, SequenceState& state,
                           SequenceWorkerThread& worker, CopyStep copy = {});

    // Checks that the backup folder is there; when it is not, says so, beeps, waits
    // and leaves the run to end as failed without walking the lists.
    void open(SequenceRun& run) override;
    bool stoppedAtOpen() const override { return m_folderMissing; }
    bool transfer(TTernFileObject& file, SequenceRun& run) override;
    // The backup log is not copied: it lives beside the program.
    void finishWalks(TTernFileObject& file, SequenceRun& run) override;
    void close(SequenceRun& run) override;

    // The pause after the missing backup folder is reported.
    static constexpr int MissingFolderPauseMs = 5000;

private:
    // Copies the file, once more when the first attempt fails; the second attempt's
    // error text goes to the memo. Returns the failure's reason, empty on success.
    QString copyWithRetry(TTernFileObject& file);
    void countAndRecord(TTernFileObject& file, SequenceRun& run);

    SequenceWindow& m_window;
    SequenceState& m_state;
    SequenceWorkerThread& m_worker;
    CopyStep m_copy;
    bool m_folderMissing = false;
};
