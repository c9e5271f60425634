#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// The file dates the backup log holds for each path: the exact second for archives
// written before they carried it themselves, which give only the DOS date.
class LoggedFileDates
{
public:
    // Reads the log; a log that cannot be read gives no dates, and the DOS date stands.
    explicit LoggedFileDates(const QString& logPath);

    // A DOS date is the file's time rounded down to an even second: the logged date of
    // the same path within those two seconds is the exact one. Else the DOS date.
    QDateTime refine(const QString& path, const QDateTime& dosTime) const;

private:
    QHash<QString, QList<QDateTime>> m_dates;
};
