#include "sequence/LoggedFileDates.h"

#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/KestrelError.h"

LoggedFileDates::LoggedFileDates(const QString& logPath)
{
    try {
        TTernBackUpFileObjectList log;
        BackUpLogReader::readAll(logPath, log);
        for (qsizetype i = 0; i < log.Count(); ++i)
            m_dates[log.Items(i).FileName()].append(log.Items(i).FileDate());
    } catch (const KestrelError&) {
        m_dates.clear();
    }
}

QDateTime LoggedFileDates::refine(const QString& path, const QDateTime& dosTime) const
{
    for (const QDateTime& date : m_dates.value(path)) {
        const qint64 after = dosTime.secsTo(date);
        if (after >= 0 && after < 2)
            return date;
    }
    return dosTime;
}
