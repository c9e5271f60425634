#pragma once

#include "backupdata/FileState.h"
#include "sequence/SequenceWorkerThread.h"

#include <QString>

#include <optional>

class TTernFileObject;
class TZipMaster;

// Packs a file on a helper thread before its turn, so that packing (level 9, then
// encrypted) runs beside other work of the sequence instead of after it: the backup
// log while the files are walked, the next due file while the current one is mailed.
// The archive is used only when the file has not changed since it was packed and the
// zip password is the same; otherwise the file is packed anew at its turn, so what is
// sent is always what packing it at its turn would have sent.
class ArchiveInAdvance
{
public:
    // tag tells the scratch archives of several instances apart.
    explicit ArchiveInAdvance(QString tag);
    ~ArchiveInAdvance();
    ArchiveInAdvance(const ArchiveInAdvance&) = delete;
    ArchiveInAdvance& operator=(const ArchiveInAdvance&) = delete;

    // Starts packing path on the helper thread, into a scratch archive of the zip
    // folder with the user's zip password; an archive made before and not taken is
    // removed. Does nothing when the file is missing or there is no zip folder and
    // none can be made (packing the file at its turn then reports it).
    void start(SequenceWorkerThread& helper, const QString& path);
    // When the archive made in advance is of file's path and still holds the file as
    // it is now: waits for it (processing events), gives it the place of the file's
    // archive (TTernFileObject::AdoptZip) and returns true. Otherwise removes it and
    // returns false.
    bool adopt(TTernFileObject& file, TZipMaster& zip);
    // Waits for the packing without processing events and removes its archive.
    void discard();

private:
    QString m_tag;
    SequenceWorkerThread::PendingStep m_step;
    QString m_path;
    QString m_archive;
    QString m_password;
    // The file's state while it was packed; set by the helper's step, read after it.
    std::optional<FileState> m_packedState;
};
