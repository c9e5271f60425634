#pragma once

#include "restore/MailboxCatalog.h"
#include "restore/MailboxLogRebuild.h"
#include "restore/MailboxRestore.h"
#include "restore/MailboxSource.h"
#include "sequence/StepRunner.h"

#include <QList>
#include <QString>

#include <optional>

class RestoreProgress;

// What the restore window and the log rebuild do with the mailbox, each as one
// connection: made, opened (asking about an untrusted certificate), used and closed
// again, so that a window left open for an hour never restores over a connection the
// server has dropped meanwhile. The reader is made, used and destroyed inside steps
// of the runner, on the one thread a reader must keep to.
class MailboxSession
{
public:
    // factory empty: the IMAP reader of the stored settings. cacheFolder empty: the
    // edition's cache folder.
    explicit MailboxSession(MailboxSourceFactory factory = {}, StepRunner runner = {},
                            const QString& cacheFolder = QString());

    // Lists the mailbox's save notes into the catalog. Throws KestrelError.
    MailboxCatalog::Refresh list(RestoreProgress& progress);
    const MailboxCatalog& catalog() const { return m_catalog; }
    // Whether a listing succeeded.
    bool listed() const { return m_listedValidity.has_value(); }
    // Counts the catalog's refreshes, so a caller can tell whether what it shows is
    // still the catalog's.
    int generation() const { return m_generation; }

    // Restores the versions (from the catalog) into the target with the stored zip
    // password. When the mailbox's UIDVALIDITY is no longer the listing's, its UIDs
    // may name other messages: nothing is restored, the catalog is listed again and
    // KestrelError tells the user to choose again. Throws KestrelError when the
    // connection fails.
    MailboxRestore::Summary restore(const QList<SavedVersion>& versions, const QString& target,
                                    RestoreProgress& progress);

    // Lists the mailbox and writes a log from its save notes, archiving the current
    // one first. Throws KestrelError.
    MailboxLogRebuild::Result rebuildLog(RestoreProgress& progress);

    static QString mailboxChangedText();

private:
    class Connection;

    MailboxSourceFactory m_factory;
    StepRunner m_runner;
    MailboxCatalog m_catalog;
    void refreshCatalog(MailboxReader& reader, const MailboxReader::MailboxState& state,
                        const QString& key, RestoreProgress& progress,
                        MailboxCatalog::Refresh* refresh = nullptr);

    std::optional<quint32> m_listedValidity;
    int m_generation = 0;
};
