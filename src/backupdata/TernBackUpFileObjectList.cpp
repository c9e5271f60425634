#include "backupdata/TernBackUpFileObjectList.h"

#include <algorithm>

void TTernBackUpFileObjectList::Add(TTernBackUpFileObject record)
{
    // One hash look-up, inserting an empty group for a new path.
    PathGroup& entry = m_groups[record.FileName()];
    if (entry.group < 0) {
        entry.group = int(m_latestBackupDate.size());
        entry.latestFileDate = record.FileDateSeconds();
        m_latestBackupDate.push_back(record.BackupDateSeconds());
    } else {
        entry.latestFileDate = std::max(entry.latestFileDate, record.FileDateSeconds());
        qint64& latestBackupDate = m_latestBackupDate[entry.group];
        latestBackupDate = std::max(latestBackupDate, record.BackupDateSeconds());
    }
    m_groupOfRecord.push_back(entry.group);
    m_records.push_back(std::move(record));
}

void TTernBackUpFileObjectList::Reserve(qsizetype records)
{
    if (records <= qsizetype(m_records.size()))
        return;
    m_records.reserve(size_t(records));
    m_groupOfRecord.reserve(size_t(records));
    m_groups.reserve(records);
}

bool TTernBackUpFileObjectList::IsDue(const QString& fileName, const QDateTime& fileDate) const
{
    return IsDueAt(fileName, TTernBackUpFileObject::wallClockSeconds(fileDate));
}

bool TTernBackUpFileObjectList::IsDueAt(const QString& fileName, qint64 fileDateSeconds) const
{
    const auto found = m_groups.constFind(fileName);
    if (found == m_groups.constEnd())
        return true;
    return fileDateSeconds > found->latestFileDate;
}

QStringList TTernBackUpFileObjectList::ExportLatest() const
{
    // Sorting on case-folded copies compares plain UTF-16 instead of folding the
    // same long path prefixes again in every comparison; the exact line breaks ties.
    struct SortedLine
    {
        QString folded;
        QString line;
        bool operator<(const SortedLine& other) const
        {
            const int order = folded.compare(other.folded);
            return order != 0 ? order < 0 : line < other.line;
        }
    };
    std::vector<SortedLine> sorted;
    sorted.reserve(m_latestBackupDate.size());
    for (size_t i = 0; i < m_records.size(); ++i) {
        const TTernBackUpFileObject& record = m_records[i];
        if (record.BackupDateSeconds() == m_latestBackupDate[m_groupOfRecord[i]]) {
            QString line = record.ToLine();
            sorted.push_back({line.toCaseFolded(), line});
        }
    }
    std::sort(sorted.begin(), sorted.end());
    QStringList lines;
    lines.reserve(qsizetype(sorted.size()));
    for (const SortedLine& entry : sorted) {
        if (lines.isEmpty() || lines.constLast() != entry.line)
            lines.append(entry.line);
    }
    return lines;
}
