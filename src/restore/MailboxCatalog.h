#pragma once

#include "restore/SavedFiles.h"
#include "sequence/StepRunner.h"

#include <QList>
#include <QString>

class RestoreProgress;

// The save notes of this machine and edition that the mailbox holds, as files with
// their versions, kept in a local cache (one file per mailbox in
// $XDG_CACHE_HOME/Orrery/<Edition>/) so that a second listing reads only the notes
// with a UID above the last one seen. A mailbox whose UIDVALIDITY changed is read
// again from the start; notes no longer in the mailbox are dropped.
class MailboxCatalog
{
public:
    struct Refresh
    {
        // Notes whose headers were fetched from the server this time.
        int notesRead = 0;
        // Notes served from the cache.
        int notesFromCache = 0;
        qint64 elapsedMs = 0;
        // Whether everything was read (no cache, or UIDVALIDITY changed).
        bool readEverything = false;
    };

    // cacheFolder empty: the edition's cache folder.
    explicit MailboxCatalog(QString cacheFolder = QString());

    // The subject every save note of this machine and edition begins with,
    // "KestrelSolo Save#<machine number>#".
    static QString subjectPrefix();
    static QString defaultCacheFolder();

    // Lists the notes of the open reader, whose mailbox is in the state open gave,
    // and saves the cache. The cache is keyed by mailboxKey (server, user and
    // mailbox, never a password). Each call of the reader runs through runner.
    // Throws KestrelError; the cache is then left as it was.
    Refresh refresh(MailboxReader& reader, const MailboxReader::MailboxState& state,
                    const QString& mailboxKey, RestoreProgress& progress,
                    const StepRunner& runner = {});

    // Every file, sorted by path.
    const QList<SavedFile>& files() const { return m_files; }
    // The files whose path matches: a pattern with "*" or "?" is a wildcard on the
    // whole path (or on the file name when it holds no "/"), any other text a
    // substring of the path; both without regard to case. Empty matches all.
    QList<SavedFile> matching(const QString& pattern) const;

private:
    QString m_cacheFolder;
    QList<SavedFile> m_files;
};
