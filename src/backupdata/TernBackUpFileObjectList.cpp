#include "backupdata/TernBackUpFileObjectList.h"

#include "backupdata/SelectionListText.h"

#include <algorithm>

void TTernBackUpFileObjectList::Add(TTernBackUpFileObject record)
{
    const auto found = m_latestFileDate.find(record.FileName());
    if (found == m_latestFileDate.end())
        m_latestFileDate.insert(record.FileName(), record.FileDateSeconds());
    else if (record.FileDateSeconds() > found.value())
        found.value() = record.FileDateSeconds();
    m_records.push_back(std::move(record));
}

bool TTernBackUpFileObjectList::IsDue(const QString& fileName, const QDateTime& fileDate) const
{
    const auto found = m_latestFileDate.constFind(fileName);
    if (found == m_latestFileDate.constEnd())
        return true;
    return TTernBackUpFileObject::wallClockSeconds(fileDate) > found.value();
}

QStringList TTernBackUpFileObjectList::ExportLatest() const
{
    QHash<QString, qint64> latestBackupDate;
    latestBackupDate.reserve(m_latestFileDate.size());
    for (const TTernBackUpFileObject& record : m_records) {
        const auto found = latestBackupDate.find(record.FileName());
        if (found == latestBackupDate.end())
            latestBackupDate.insert(record.FileName(), record.BackupDateSeconds());
        else if (record.BackupDateSeconds() > found.value())
            found.value() = record.BackupDateSeconds();
    }
    QStringList lines;
    lines.reserve(latestBackupDate.size());
    for (const TTernBackUpFileObject& record : m_records) {
        if (record.BackupDateSeconds() == latestBackupDate.value(record.FileName()))
            lines.append(record.ToLine());
    }
    std::sort(lines.begin(), lines.end(), listTextLess);
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}
