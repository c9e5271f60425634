#pragma once

#include "restore/SavedFiles.h"
#include "sequence/StepRunner.h"

#include <QList>
#include <QString>
#include <QStringList>

class RestoreProgress;

// Restores saved versions from the mailbox into a target folder: downloads each
// archive (joining its parts in order; an incomplete set is refused), opens it with
// the zip password, checks the entry's CRC and size, and writes the file under its
// original path below the target ("/home/ann/a.txt" to "<target>/home/ann/a.txt")
// with a temporary name and a rename. A file that cannot be written fails alone, with
// the system's reason; a connection that broke off is made again once and the file
// starts over. Nothing is ever written outside the target:
// an entry whose name holds "/" or "..", a link, a path that escapes, or an entry
// far larger than its note is refused. An existing file is written over only when
// the user says so (Yes, No, Yes to All, Cancel) through the prompt. A wrong zip
// password is told once and the right one asked for.
class MailboxRestore
{
public:
    enum class Outcome
    {
        Restored,
        Skipped,
        Failed
    };
    struct ItemResult
    {
        QString path;
        Outcome outcome = Outcome::Failed;
        QString reason;
    };
    struct Summary
    {
        int restored = 0;
        int skipped = 0;
        int failed = 0;
        bool cancelled = false;
        QList<ItemResult> items;
        // What the caller told of the choice of versions: an older one restored since
        // the newest is not whole.
        QStringList notices;
        // "3 files restored, 1 skipped, 1 failed", the notices, then a line for each
        // file skipped or failed with its reason.
        QString text() const;
    };

    // The reader must be open; it is used only inside steps.
    MailboxRestore(MailboxReader& reader, QString targetFolder, QString zipPassword,
                   StepRunner runStep = {});

    // "<home>/Restored <yyyy-MM-dd hh.mm.ss>" for the time given.
    static QString defaultTargetFolder(const QDateTime& now);
    // Where a file restores below the target: its path without the leading "/".
    static QString relativePathOf(const QString& savedPath);

    // Files already there are written over without asking (a script's --overwrite).
    void setWriteOver(bool writeOver) { m_writeOver = writeOver; }
    // The state the reader was opened in: a connection made again (after it broke
    // off) must find the same UIDVALIDITY, or the listed UIDs may name other messages.
    void setMailboxState(const MailboxReader::MailboxState& state) { m_state = state; }

    // The progress hears of each file; the outcome is the caller's to tell.
    Summary restore(const QList<SavedVersion>& versions, RestoreProgress& progress);

private:
    MailboxReader& m_reader;
    QString m_target;
    QString m_password;
    StepRunner m_runStep;
    bool m_writeOver = false;
    MailboxReader::MailboxState m_state;
};
