#pragma once

#include "backupdata/FolderListing.h"
#include "sequence/SequenceWorkerThread.h"

#include <QHash>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

// Looks at the files of the walk's folders a little ahead of the walk, on a thread of
// its own, so that the system's answers for one folder are being fetched while the
// walk compares the previous folder with the backup log. The walk stops it before it
// sends the first file: from then on time passes between folders, and each file is
// looked at again at its turn.
class FileStatusPrefetch
{
public:
    FileStatusPrefetch() = default;
    ~FileStatusPrefetch();
    FileStatusPrefetch(const FileStatusPrefetch&) = delete;
    FileStatusPrefetch& operator=(const FileStatusPrefetch&) = delete;

    // Takes the listings read by the count (by path) for the folders in walking order
    // and starts looking at their files on thread.
    void start(SequenceWorkerThread& thread, const QStringList& folders,
               QHash<QString, FolderListing>&& listings);
    // The listing of folders[index] as the count read it, or nothing when the count
    // did not read that folder. Its fileStatuses are filled when the prefetch got there
    // before it was stopped, and empty otherwise. Folders are taken in order; each
    // once. Waits while the thread is at that folder.
    std::optional<FolderListing> take(qsizetype index);
    // Stops looking ahead and waits until the thread has let go of the listings.
    void stop();

private:
    void lookAhead();

    std::vector<std::optional<FolderListing>> m_listings;
    QStringList m_folders;
    SequenceWorkerThread::PendingStep m_step;
    std::atomic<bool> m_stopRequested{false};
    bool m_stopped = true;
    // Folders done by the thread, guarded by m_mutex.
    qsizetype m_done = 0;
    std::mutex m_mutex;
    std::condition_variable m_progress;
};
