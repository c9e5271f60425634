#pragma once

#include <QDateTime>
#include <QString>

// One record of the backup log: a saved copy of a file. The line form is
// "FileName;FileDate;SizeText;BackupDate;ID" (see LogLineFormat.h).
//
// Dates are kept as local wall-clock seconds, the resolution of the log, so that
// comparing two of them compares what the log says and loading a large log costs no
// time-zone arithmetic. A cleared date is the zero date, 30/12/1899 at midnight,
// which is earlier than any real date.
class TTernBackUpFileObject
{
public:
    TTernBackUpFileObject() = default;

    // File name and size text empty, both dates zero, ID 0. A reader that reuses one
    // record for many lines clears it before each line.
    void Clear();

    // Fills the record from one log line. Fields are read left to right, each up to
    // the next ";"; a field missing because the line is short keeps its value. A line
    // with more than four ";" that does not read that way is read from the right: the
    // last four fields have fixed forms, so a file name holding ";" comes back whole.
    // Throws KestrelError naming the text when a date or the ID does not convert; the
    // record is then unchanged.
    void Parse(const QString& line);

    QString ToLine() const;

    // True for a line with exactly four ";", and for a longer line whose last four
    // fields read as a record (a file name that holds ";").
    static bool IsValidLine(const QString& line);

    // The file name without its folder, up to the first "." after its first character.
    QString NamePart() const;

    const QString& FileName() const { return m_fileName; }
    QDateTime FileDate() const;
    const QString& SizeText() const { return m_sizeText; }
    QDateTime BackupDate() const;
    int ID() const { return m_id; }

    void SetFileName(const QString& fileName) { m_fileName = fileName; }
    void SetFileDate(const QDateTime& fileDate);
    void SetSizeText(const QString& sizeText) { m_sizeText = sizeText; }
    void SetBackupDate(const QDateTime& backupDate);
    void SetID(int id) { m_id = id; }

    // The dates as wall-clock seconds (see wallClockSeconds), for fast comparison.
    qint64 FileDateSeconds() const { return m_fileDate; }
    qint64 BackupDateSeconds() const { return m_backupDate; }
    void SetFileDateSeconds(qint64 seconds) { m_fileDate = seconds; }
    void SetBackupDateSeconds(qint64 seconds) { m_backupDate = seconds; }

    // Local wall-clock seconds of a moment, truncated to whole seconds; an invalid
    // moment gives the zero date.
    static qint64 wallClockSeconds(const QDateTime& moment);
    static QDateTime fromWallClockSeconds(qint64 seconds);
    // 30/12/1899 00:00:00 (Julian day 2415019), the date of a cleared record.
    static constexpr qint64 ZeroDateSeconds = Q_INT64_C(2415019) * 86400;

private:
    QString m_fileName;
    QString m_sizeText;
    qint64 m_fileDate = ZeroDateSeconds;
    qint64 m_backupDate = ZeroDateSeconds;
    int m_id = 0;
};
