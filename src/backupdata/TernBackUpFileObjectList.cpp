#include "backupdata/TernBackUpFileObjectList.h"

#include <algorithm>

void TTernBackUpFileObjectList::Add(TTernBackUpFileObject record)
{
    auto found = m_groupOfPath.find(record.FileName());
    const bool isNew = found == m_groupOfPath.end();
    if (isNew)
        found = m_groupOfPath.insert(record.FileName(), int(m_latestFileDate.size()));
    const int group = found.value();
    if (isNew) {
        m_latestFileDate.push_back(record.FileDateSeconds());
        m_latestBackupDate.push_back(record.BackupDateSeconds());
    } else {
        m_latestFileDate[group] = std::max(m_latestFileDate[group], record.FileDateSeconds());
        m_latestBackupDate[group] = std::max(m_latestBackupDate[group], record.BackupDateSeconds());
    }
    m_groupOfRecord.push_back(group);
    m_records.push_back(std::move(record));
}

bool TTernBackUpFileObjectList::IsDue(const QString& fileName, const QDateTime& fileDate) const
{
    const auto found = m_groupOfPath.constFind(fileName);
    if (found == m_groupOfPath.constEnd())
        return true;
    return TTernBackUpFileObject::wallClockSeconds(fileDate) > m_latestFileDate[found.value()];
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
