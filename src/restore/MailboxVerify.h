#pragma once

#include "restore/MailboxCatalog.h"
#include "sequence/StepRunner.h"

#include <QDateTime>
#include <QList>
#include <QString>

class MailboxReader;
class RestoreProgress;

// Checks that the mailbox holds what the log says was saved, and that saved versions
// can be restored. Every file's latest log record is looked up without a download:
// a whole version saved at (or after) its backup date must be in the mailbox, and
// an incomplete one there or none at all is a fault. Then each of a random choice of
// complete versions is downloaded into a temporary folder, opened with the zip
// password, its CRC checked, and its size compared with the log's record of the path
// whose backup date is nearest the note's date. A version the log has no record of
// is a fault.
class MailboxVerify
{
public:
    struct Fault
    {
        QString path;
        QDateTime noteDate;
        QString reason;
    };
    struct Result
    {
        // Versions downloaded and opened.
        int checked = 0;
        // Files of the log whose latest record was looked up.
        int loggedFiles = 0;
        QList<Fault> faults;
        // "5 saved versions checked, 9 logged files looked up, 1 fault", then a line
        // for each fault.
        QString text() const;
    };

    // count versions at most, all when there are fewer. Reads the log at the store's
    // LogFile. Throws KestrelError when the mailbox fails or the check is cancelled.
    static Result verify(const MailboxCatalog& catalog, MailboxReader& reader,
                         const QString& zipPassword, int count, RestoreProgress& progress,
                         const StepRunner& runner = {});
};
