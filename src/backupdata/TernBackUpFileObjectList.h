#pragma once

#include "backupdata/TernBackUpFileObject.h"

#include <QHash>
#include <QStringList>

#include <vector>

// The backup log in memory: its records in the order of the log's lines, with an
// index on the exact file path kept up to date by Add, so the due test costs one
// hash look-up instead of a pass over the whole log.
//
// Paths compare exactly, byte for byte: `Docs/a.txt` and `docs/a.txt` are different
// files (the file system holds both).
class TTernBackUpFileObjectList
{
public:
    TTernBackUpFileObjectList() = default;

    // Appends a record; the list keeps it.
    void Add(TTernBackUpFileObject record);
    // Makes room for this many records in all, so that reading a large log does not
    // grow the list and its index step by step.
    void Reserve(qsizetype records);

    // Whether a file whose current modification time is fileDate must be backed up:
    // yes when the log holds no record of the path, or when fileDate is strictly later
    // than the file date of every record of the path. Compared in whole seconds, the
    // resolution of the log, so a file modified within the logged second is not due.
    bool IsDue(const QString& fileName, const QDateTime& fileDate) const;
    // The same with the file's date already in wall-clock seconds
    // (TTernBackUpFileObject::wallClockSeconds, LocalFileStatus).
    bool IsDueAt(const QString& fileName, qint64 fileDateSeconds) const;

    // The same for any file object that offers FileName() and FileDate().
    template <typename FileObject> bool IsDue(const FileObject& fileObject) const
    {
        return IsDue(fileObject.FileName(), fileObject.FileDate());
    }

    // The purged form of the log: for every path, the line of each record that carries
    // the path's latest backup date (several when they tie and their lines differ).
    // Sorted without regard to case with an exact tie-break; identical lines are kept
    // once. Lines of paths that differ only in case both stay.
    QStringList ExportLatest() const;

    qsizetype Count() const { return qsizetype(m_records.size()); }
    const TTernBackUpFileObject& Items(qsizetype index) const { return m_records.at(index); }
    bool Contains(const QString& fileName) const { return m_groups.contains(fileName); }

private:
    // The records of one exact path form a group, numbered in order of first appearance.
    // The latest file date sits in the hash itself: the due test then touches one entry.
    struct PathGroup
    {
        int group = -1;
        qint64 latestFileDate = 0;
    };

    std::vector<TTernBackUpFileObject> m_records;
    QHash<QString, PathGroup> m_groups;
    std::vector<int> m_groupOfRecord;
    // Per group, the latest backup date among its records.
    std::vector<qint64> m_latestBackupDate;
};
