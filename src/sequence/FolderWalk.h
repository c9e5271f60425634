#pragma once

#include "backupdata/FolderListing.h"
#include "backupdata/LocalFileStatus.h"
#include "backupdata/WalkFilter.h"
#include "sequence/FileStatusPrefetch.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class SequenceWorkerThread;

// An entry the walk left out, and why ("Exclude.Txt line 3: *.tmp").
struct LeftOutEntry
{
    QString path;
    QString reason;
    bool isFolder = false;
};

// The walk over the selected folders, in one place: which folders it visits, the count
// of their files, the look-ahead at the files before the first is sent, how long what
// was read stands for a folder, and the filter, so that the count, the look-ahead and
// the walk leave out the same entries.
//
// The count (read) runs on a worker thread; everything else on the sequence's thread.
class FolderWalk
{
public:
    // How long what the count read of a folder stands for the folder in the walk.
    static constexpr qint64 ListingKeptMs = 10000;

    void setFilter(WalkFilter filter) { m_filter = std::move(filter); }
    const WalkFilter& filter() const { return m_filter; }

    // The count: the selected folders and, with subFolders, every folder below them,
    // in walking order, each once; what was read of each; the files to look at. A
    // left-out folder is neither listed nor entered, a left-out file not counted.
    void read(const QStringList& selectedFolders, bool subFolders);
    // When read ended, on the sequence's clock (stale listings are read again).
    void setReadAtMs(qint64 readAtMs) { m_readAtMs = readAtMs; }
    const QStringList& folders() const { return m_folders; }
    qsizetype fileCount() const { return m_fileCount; }
    // Names that cannot be backed up and folders that cannot be read, found by read.
    const QStringList& problems() const { return m_problems; }

    // The bytes of the files the walk of folders() will look at for which counts is
    // true, each folder listed and its files looked at now. Only reads the walk, so it
    // may run on another thread beside the look-ahead.
    qint64 bytesOf(const std::function<bool(const QString&, const LocalFileStatus&)>& counts) const;

    // Starts looking at the files of the folders ahead of the walk, on thread.
    void startLookAhead(SequenceWorkerThread& thread);
    // Ends looking ahead (before the first file is sent) and waits for the thread.
    void stopLookAhead() { m_prefetch.stop(); }
    void clear();

    // One folder as the walk visits it: its files with the filter applied, and their
    // states when they were looked at moments ago.
    class Visit
    {
    public:
        const QString& folder() const { return m_folder; }
        const FolderListing& listing() const { return m_listing; }
        qsizetype fileCount() const { return m_listing.files.size(); }
        QString pathOf(qsizetype index) const;
        // The file's state: what the look-ahead saw while nothing has been sent,
        // otherwise looked at now through the open folder.
        LocalFileStatus statusOf(qsizetype index, bool sendingStarted);
        // Looked at now, whatever the look-ahead saw.
        LocalFileStatus currentStatusOf(qsizetype index);

        Visit(const Visit&) = delete;
        Visit& operator=(const Visit&) = delete;
        Visit(Visit&& other) noexcept;
        Visit& operator=(Visit&&) = delete;
        ~Visit();

    private:
        friend class FolderWalk;
        Visit(QString folder, FolderListing listing);

        QString m_folder;
        FolderListing m_listing;
        int m_descriptor = -1;
        bool m_opened = false;
    };

    // folders()[index] as the walk sees it now, or nothing when the folder is gone.
    // nowMs is the clock's time; sendingStarted: a file has been sent in this run.
    std::optional<Visit> visit(qsizetype index, qint64 nowMs, bool sendingStarted);

    // A file from the files list: the reason it is left out, or an empty text.
    QString pickedFileLeftOut(const QString& path, const LocalFileStatus& status) const;
    // A file whose state the walk has just looked at: left out for its size. The reason
    // is kept for the report.
    bool leavesOutBySize(const QString& path, const LocalFileStatus& status);
    // Records an entry left out (each path once).
    void leaveOut(const QString& path, const QString& reason, bool isFolder);
    const QList<LeftOutEntry>& leftOut() const { return m_leftOut; }
    qsizetype leftOutFiles() const { return m_leftOutFiles; }
    qsizetype leftOutFolders() const { return m_leftOut.size() - m_leftOutFiles; }
    // The status memo's line about what was left out; empty when nothing was.
    static QString leftOutSummary(qsizetype files, qsizetype folders);

private:
    // Leaves out the files of the listing the filter refuses by name (and by size, when
    // it stats them: the states are kept for the walk).
    void filterFiles(const QString& folder, FolderListing& listing, bool lookAtSizes,
                     QList<LeftOutEntry>& leftOut) const;
    // filterFiles over the listings of the folders, recording what is left out.
    void filterFolders(const QStringList& folders);

    static constexpr qsizetype ParallelFilterMinFolders = 64;
    static constexpr int ParallelFilterMaxThreads = 4;
    QString rootOf(const QString& folder) const;

    WalkFilter m_filter;
    QStringList m_folders;
    // The selected folder each walked folder lies in (the innermost, when selections
    // nest); patterns match the path below it.
    QHash<QString, QString> m_roots;
    QHash<QString, FolderListing> m_listings;
    qsizetype m_fileCount = 0;
    QStringList m_problems;
    qint64 m_readAtMs = 0;
    FileStatusPrefetch m_prefetch;
    QList<LeftOutEntry> m_leftOut;
    QSet<QString> m_leftOutPaths;
    qsizetype m_leftOutFiles = 0;
};
