#pragma once

#include "restore/MailboxCatalog.h"
#include "sequence/StepRunner.h"

#include <QString>

class MailboxReader;
class RestoreProgress;

// Writes a new backup log from the save notes in the mailbox, for a new machine or a
// lost log: one record per complete saved version, with the file's date and size
// from the archive's directory (read from the end of its last part alone), the note's
// date as the backup date and a fresh ID. A version is left out, with a status line,
// when its path cannot be a log record, when it is dated in the future, or when a zip
// password is set and its archive does not open with it. The current log, when it holds anything,
// is archived first as the "Archive Log File" command does.
class MailboxLogRebuild
{
public:
    struct Result
    {
        int records = 0;
        // The archive copy of the log that was replaced; empty when there was none.
        QString archivedLog;
    };

    // Everything is read from the mailbox before the log is touched: a failure or a
    // cancel there leaves the log as it was. Throws KestrelError.
    static Result rebuild(const MailboxCatalog& catalog, MailboxReader& reader,
                          RestoreProgress& progress, const StepRunner& runner = {});
};
