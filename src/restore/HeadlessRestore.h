#pragma once

#include "transport/MailboxReader.h"

#include <QString>

class KestrelCommandLine;
class MailboxCatalog;
class QTextStream;

// The mailbox commands without a window (kestrelsolo --list, --restore, --verify):
// the save notes are listed through the catalog, and lines for the user go to a
// stream. Each returns the exit status: 0 when all went well, 1 when anything failed.
class HeadlessRestore
{
public:
    enum ExitStatus
    {
        Succeeded = 0,
        Failed = 1,
        NotStarted = 2
    };

    // The reader is open, its mailbox in the state given; cacheFolder empty: the
    // edition's own.
    HeadlessRestore(QTextStream& out, MailboxReader& reader, MailboxReader::MailboxState state,
                    QString mailboxKey, QString cacheFolder = QString());

    // One line for each saved version (date, archive size, parts, path) of the files
    // matching pattern, below an incomplete one its fault, then how many notes were
    // read and how long it took.
    int list(const QString& pattern);
    // The latest version of each matching file, or the latest saved at versionDate,
    // restored into target with the stored zip password; files already there are kept
    // unless writeOver. When that version is not whole an older whole one is restored
    // with a line naming both dates, and the status is 1.
    int restore(const QString& pattern, const QString& target, const QString& versionDate,
                bool writeOver = false);
    // Every file's latest log record looked up in the mailbox, and count random saved
    // versions opened and checked against the log; 1 on any gap or fault.
    int verify(int count);

    // Whether a note sent at noteDate is the version of DATE, given as "yyyy-MM-dd"
    // (any time that day) or "yyyy-MM-dd hh:mm[:ss]" (that minute, or that second).
    static bool isVersionOf(const QString& versionDate, const QDateTime& noteDate);

    // The command (--list, --restore or --verify) in the frame the program sets up for
    // runs without a window: the IMAP settings of the store, the certificate given with
    // --trust-certificate trusted for the IMAP server first.
    static int runCommand(QTextStream& out, const KestrelCommandLine& commandLine);

private:
    bool refreshCatalog(MailboxCatalog& catalog);

    QTextStream& m_out;
    MailboxReader& m_reader;
    MailboxReader::MailboxState m_state;
    QString m_mailboxKey;
    QString m_cacheFolder;
    QString m_lastRefresh;
};
