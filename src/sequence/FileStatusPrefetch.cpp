#include "sequence/FileStatusPrefetch.h"

#include <QFile>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

FileStatusPrefetch::~FileStatusPrefetch()
{
    stop();
}

void FileStatusPrefetch::start(SequenceWorkerThread& thread, const QStringList& folders,
                               QHash<QString, FolderListing>&& listings)
{
    stop();
    m_folders = folders;
    m_listings.clear();
    m_listings.reserve(size_t(folders.size()));
    for (const QString& folder : folders) {
        const auto found = listings.find(folder);
        if (found == listings.end()) {
            m_listings.emplace_back(std::nullopt);
        } else {
            m_listings.emplace_back(std::move(*found));
            listings.erase(found);
        }
    }
    m_done = 0;
    m_stopRequested = false;
    m_stopped = false;
    m_step = thread.start([this] { lookAhead(); });
}

void FileStatusPrefetch::lookAhead()
{
    for (size_t index = 0; index < m_listings.size(); ++index) {
        if (m_stopRequested.load(std::memory_order_relaxed))
            break;
        std::optional<FolderListing>& listing = m_listings[index];
        // A listing whose files the count looked at already needs nothing more.
        if (listing && !listing->files.isEmpty() && listing->fileStatuses.isEmpty()) {
            const int folder = ::open(QFile::encodeName(m_folders.at(qsizetype(index))).constData(),
                                      O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder >= 0) {
                listing->fileStatuses.reserve(listing->files.size());
                for (const QString& name : std::as_const(listing->files))
                    listing->fileStatuses.append(
                        LocalFileStatus::inFolder(folder, QFile::encodeName(name)));
                ::close(folder);
            }
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done = qsizetype(index) + 1;
        }
        m_progress.notify_one();
    }
}

std::optional<FolderListing> FileStatusPrefetch::take(qsizetype index)
{
    if (index < 0 || size_t(index) >= m_listings.size())
        return std::nullopt;
    if (!m_stopped) {
        std::unique_lock<std::mutex> lock(m_mutex);
        // The thread either reaches the folder or ends (it may have failed), and then
        // it has let go of every listing.
        while (m_done <= index && !SequenceWorkerThread::finished(m_step))
            m_progress.wait_for(lock, std::chrono::milliseconds(10));
    }
    std::optional<FolderListing> listing = std::move(m_listings[size_t(index)]);
    m_listings[size_t(index)].reset();
    return listing;
}

void FileStatusPrefetch::stop()
{
    if (m_stopped)
        return;
    m_stopRequested = true;
    SequenceWorkerThread::waitQuietly(m_step);
    m_step.reset();
    m_stopped = true;
}
