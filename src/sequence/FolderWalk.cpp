#include "sequence/FolderWalk.h"

#include "backupdata/KestrelFolders.h"
#include "backupdata/SelectionListText.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

int openFolder(const QString& folder)
{
    return ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

void FolderWalk::clear()
{
    m_prefetch.stop();
    m_folders.clear();
    m_roots.clear();
    m_listings.clear();
    m_fileCount = 0;
    m_problems.clear();
    m_leftOut.clear();
    m_leftOutPaths.clear();
    m_leftOutFiles = 0;
}

QString FolderWalk::rootOf(const QString& folder) const
{
    return m_roots.value(folder, folder);
}

void FolderWalk::read(const QStringList& selectedFolders, bool subFolders)
{
    m_folders.clear();
    m_roots.clear();
    m_listings.clear();
    m_problems.clear();
    m_fileCount = 0;
    const bool filterNames = m_filter.hasPatterns() || m_filter.limitsSize();
    for (const QString& selected : selectedFolders) {
        m_folders.append(selected);
        m_roots.insert(selected, selected);
        if (!subFolders)
            continue;
        QStringList below;
        const auto enter = [this, &selected](const QString& path) {
            if (m_filter.leavesNothingOut())
                return true;
            const QString reason = m_filter.folderLeftOut(path, relativeWalkPath(selected, path));
            if (reason.isEmpty())
                return true;
            leaveOut(path, reason, true);
            return false;
        };
        TKestrelFolders::GetSubFolders(selected, below, m_listings, &m_problems, enter);
        for (const QString& path : std::as_const(below)) {
            // Nested selections: the innermost selected folder counts.
            const auto root = m_roots.constFind(path);
            if (root == m_roots.constEnd() || root->size() < selected.size())
                m_roots.insert(path, selected);
        }
        m_folders.append(below);
    }
    std::sort(m_folders.begin(), m_folders.end(), listTextLess);
    m_folders.erase(std::unique(m_folders.begin(), m_folders.end()), m_folders.end());
    // A selected folder that the patterns of a folder above it leave out is walked all
    // the same: it was chosen by hand.
    const QSet<QString> selected(selectedFolders.begin(), selectedFolders.end());
    m_leftOut.removeIf([this, &selected](const LeftOutEntry& entry) {
        if (!entry.isFolder || !selected.contains(entry.path))
            return false;
        m_leftOutPaths.remove(entry.path);
        return true;
    });
    // Every folder's listing is in place before any is filtered: the filter works on
    // references into the table, which a later insert could move.
    QStringList filtered;
    for (const QString& folder : std::as_const(m_folders)) {
        if (!m_listings.contains(folder)) {
            if (!QFileInfo(folder).isDir())
                continue;
            if (!filterNames) {
                m_fileCount += listFolder(folder, FileNames::CountOnly).fileCount;
                continue;
            }
            m_listings.insert(folder, listFolder(folder));
        }
        if (filterNames)
            filtered.append(folder);
        else
            m_fileCount += m_listings.value(folder).fileCount;
    }
    filterFolders(filtered);
}

void FolderWalk::filterFolders(const QStringList& folders)
{
    QList<FolderListing*> listings;
    listings.reserve(folders.size());
    for (const QString& folder : folders)
        listings.append(&m_listings[folder]);
    QList<QList<LeftOutEntry>> leftOut(folders.size());
    const bool lookAtSizes = m_filter.limitsSize();
    const auto filterRange = [&](qsizetype from, qsizetype to) {
        for (qsizetype index = from; index < to; ++index)
            filterFiles(folders.at(index), *listings.at(index), lookAtSizes, leftOut[index]);
    };
    // The size limit stats every file before the count is known: on a large tree that
    // is most of the count's time, and the look-ahead has nothing left to overlap it
    // with, so the folders are shared out over the cores. The filter and the names
    // are only read; each folder's left-out entries are kept apart and recorded in
    // folder order afterwards.
    const qsizetype threads =
        lookAtSizes && folders.size() >= ParallelFilterMinFolders
            ? qBound(1, int(std::thread::hardware_concurrency()), ParallelFilterMaxThreads)
            : 1;
    std::vector<std::thread> helpers;
    const qsizetype share = (folders.size() + threads - 1) / threads;
    for (qsizetype start = share; start < folders.size(); start += share)
        helpers.emplace_back(filterRange, start, qMin(start + share, folders.size()));
    filterRange(0, qMin(share, folders.size()));
    for (std::thread& helper : helpers)
        helper.join();
    for (qsizetype index = 0; index < folders.size(); ++index) {
        m_fileCount += listings.at(index)->fileCount;
        for (const LeftOutEntry& entry : std::as_const(leftOut.at(index)))
            leaveOut(entry.path, entry.reason, entry.isFolder);
    }
}

void FolderWalk::filterFiles(const QString& folder, FolderListing& listing, bool lookAtSizes,
                             QList<LeftOutEntry>& leftOut) const
{
    // The path below the selected folder is made once per folder; each name is put
    // after it in the same buffer.
    const QString root = rootOf(folder);
    QByteArray relative = folder == root ? QByteArray() : relativeWalkPath(root, folder) + '/';
    const qsizetype prefixSize = relative.size();
    const int descriptor = lookAtSizes ? openFolder(folder) : -1;
    QStringList files;
    QList<LocalFileStatus> statuses;
    files.reserve(listing.files.size());
    for (const QString& name : std::as_const(listing.files)) {
        relative.truncate(prefixSize);
        relative.append(QFile::encodeName(name));
        QString reason = m_filter.fileNameLeftOut(relative);
        if (reason.isEmpty() && lookAtSizes) {
            const LocalFileStatus status =
                descriptor >= 0 ? LocalFileStatus::inFolder(descriptor, relative.sliced(prefixSize))
                                : LocalFileStatus::of(joinFolderPath(folder, name));
            if (status.isFile)
                reason = m_filter.fileSizeLeftOut(status.size);
            if (reason.isEmpty())
                statuses.append(status);
        }
        if (!reason.isEmpty()) {
            leftOut.append({joinFolderPath(folder, name), reason, false});
            continue;
        }
        files.append(name);
    }
    if (descriptor >= 0)
        ::close(descriptor);
    listing.files = std::move(files);
    listing.fileCount = listing.files.size();
    if (lookAtSizes)
        listing.fileStatuses = std::move(statuses);
}

qint64
FolderWalk::bytesOf(const std::function<bool(const QString&, const LocalFileStatus&)>& counts) const
{
    qint64 bytes = 0;
    for (const QString& folder : m_folders) {
        FolderListing listing = listFolder(folder);
        if (m_filter.hasPatterns()) {
            QList<LeftOutEntry> leftOut;
            filterFiles(folder, listing, false, leftOut);
        }
        const int descriptor = openFolder(folder);
        for (const QString& name : std::as_const(listing.files)) {
            const QString path = joinFolderPath(folder, name);
            const LocalFileStatus status =
                descriptor >= 0 ? LocalFileStatus::inFolder(descriptor, QFile::encodeName(name))
                                : LocalFileStatus::of(path);
            if (status.isFile && m_filter.fileSizeLeftOut(status.size).isEmpty() &&
                counts(path, status))
                bytes += status.size;
        }
        if (descriptor >= 0)
            ::close(descriptor);
    }
    return bytes;
}

void FolderWalk::startLookAhead(SequenceWorkerThread& thread)
{
    m_prefetch.start(thread, m_folders, std::move(m_listings));
    m_listings.clear();
}

std::optional<FolderWalk::Visit> FolderWalk::visit(qsizetype index, qint64 nowMs,
                                                   bool sendingStarted)
{
    const QString& folder = m_folders.at(index);
    // What the count read moments ago is what the folder holds: a run with little to
    // send reads each folder once. A run that has been sending for a while reads the
    // folder again, so files made meanwhile are found.
    std::optional<FolderListing> kept;
    if (const auto read = m_listings.find(folder); read != m_listings.end()) {
        // Nothing looks ahead (a dry run): the walk takes what the count read.
        kept = std::move(*read);
        m_listings.erase(read);
    } else {
        kept = m_prefetch.take(index);
    }
    if (kept && nowMs - m_readAtMs > ListingKeptMs)
        kept.reset();
    // Until the first file is sent the walk has only been reading, moments after the
    // files were looked at: what was seen stands, the folder included.
    const bool lookedAt = kept && !sendingStarted && !kept->fileStatuses.isEmpty();
    if (!lookedAt && !QFileInfo(folder).isDir())
        return std::nullopt;
    if (kept)
        return Visit(folder, std::move(*kept));
    FolderListing listing = listFolder(folder);
    if (m_filter.hasPatterns()) {
        QList<LeftOutEntry> leftOut;
        filterFiles(folder, listing, false, leftOut);
        for (const LeftOutEntry& entry : std::as_const(leftOut))
            leaveOut(entry.path, entry.reason, entry.isFolder);
    }
    return Visit(folder, std::move(listing));
}

QString FolderWalk::pickedFileLeftOut(const QString& path, const LocalFileStatus& status) const
{
    if (m_filter.leavesNothingOut())
        return QString();
    QString reason = m_filter.fileNameLeftOut(QFile::encodeName(QFileInfo(path).fileName()));
    if (reason.isEmpty() && status.isFile)
        reason = m_filter.fileSizeLeftOut(status.size);
    return reason;
}

bool FolderWalk::leavesOutBySize(const QString& path, const LocalFileStatus& status)
{
    if (!m_filter.limitsSize() || !status.isFile)
        return false;
    const QString reason = m_filter.fileSizeLeftOut(status.size);
    if (reason.isEmpty())
        return false;
    leaveOut(path, reason, false);
    return true;
}

void FolderWalk::leaveOut(const QString& path, const QString& reason, bool isFolder)
{
    if (m_leftOutPaths.contains(path))
        return;
    m_leftOutPaths.insert(path);
    m_leftOut.append({path, reason, isFolder});
    if (!isFolder)
        ++m_leftOutFiles;
}

// ---- one folder of the walk ----

FolderWalk::Visit::Visit(QString folder, FolderListing listing)
    : m_folder(std::move(folder)), m_listing(std::move(listing))
{}

FolderWalk::Visit::Visit(Visit&& other) noexcept
    : m_folder(std::move(other.m_folder)), m_listing(std::move(other.m_listing)),
      m_descriptor(std::exchange(other.m_descriptor, -1)),
      m_opened(std::exchange(other.m_opened, false))
{}

FolderWalk::Visit::~Visit()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

QString FolderWalk::Visit::pathOf(qsizetype index) const
{
    return joinFolderPath(m_folder, m_listing.files.at(index));
}

LocalFileStatus FolderWalk::Visit::statusOf(qsizetype index, bool sendingStarted)
{
    if (!sendingStarted && index < m_listing.fileStatuses.size())
        return m_listing.fileStatuses.at(index);
    return currentStatusOf(index);
}

LocalFileStatus FolderWalk::Visit::currentStatusOf(qsizetype index)
{
    // Each file is looked at through its open folder (the system then looks up one
    // name instead of the whole path); when the folder cannot be opened, by path.
    if (!m_opened) {
        m_descriptor = openFolder(m_folder);
        m_opened = true;
    }
    const QString& name = m_listing.files.at(index);
    if (m_descriptor < 0)
        return LocalFileStatus::of(joinFolderPath(m_folder, name));
    return LocalFileStatus::inFolder(m_descriptor, QFile::encodeName(name));
}

QString FolderWalk::leftOutSummary(qsizetype files, qsizetype folders)
{
    const QString fileText =
        files == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(files);
    const QString folderText =
        folders == 1 ? QStringLiteral("1 folder") : QStringLiteral("%1 folders").arg(folders);
    if (folders == 0 && files == 0)
        return QString();
    if (folders == 0)
        return QStringLiteral("%1 %2 left out by the exclusions.")
            .arg(fileText, files == 1 ? QStringLiteral("was") : QStringLiteral("were"));
    if (files == 0)
        return QStringLiteral("%1 %2 left out by the exclusions.")
            .arg(folderText, folders == 1 ? QStringLiteral("was") : QStringLiteral("were"));
    return QStringLiteral("%1 and %2 were left out by the exclusions.").arg(fileText, folderText);
}
