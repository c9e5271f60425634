#pragma once

#include "backupdata/FileState.h"
#include "sequence/SequenceWorkerThread.h"

#include <QString>

#include <optional>

class TTernFileObject;
class TZipMaster;

// Packs the backup log while the files are walked. A run that finds nothing to send
// mails the log as it was at the start, and packing a large log (level 9, then
// encrypted) costs about as much as comparing every file with it; on a second
// processor it costs the run nothing. The archive made in advance is used only when
// the log has not changed since it was packed; otherwise the log is packed anew.
class LogArchiveInAdvance
{
public:
    LogArchiveInAdvance() = default;
    ~LogArchiveInAdvance();
    LogArchiveInAdvance(const LogArchiveInAdvance&) = delete;
    LogArchiveInAdvance& operator=(const LogArchiveInAdvance&) = delete;

    // Starts packing logFile on the helper thread, into a scratch archive of the zip
    // folder with the user's zip password. Does nothing when there is no zip folder
    // and none can be made (packing the log later reports it).
    void start(SequenceWorkerThread& helper, const QString& logFile);
    // Waits for the packing (processing events) and, when its archive holds the log
    // as the log is now and the zip password is unchanged, gives it the place of the
    // log's archive (TTernFileObject::AdoptZip) and returns true. Otherwise removes
    // it and returns false.
    bool adopt(const TTernFileObject& log, TZipMaster& zip);
    // Waits for the packing without processing events and removes its archive.
    void discard();

private:
    SequenceWorkerThread::PendingStep m_step;
    QString m_logFile;
    QString m_archive;
    QString m_password;
    // The log's state while it was packed; set by the helper's step, read after it.
    std::optional<FileState> m_packedState;
};
