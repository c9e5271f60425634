#pragma once

#include "transport/MailboxReader.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtNumeric>

#include <limits>

// Sizes a server announces are added without overflow: a sum past the largest
// number stays at it.
inline qint64 addSizes(qint64 a, qint64 b)
{
    qint64 sum = 0;
    return qAddOverflow(a, b, &sum) ? std::numeric_limits<qint64>::max() : sum;
}

// One saved version of a file in the mailbox: the save note, or the set of notes
// carrying its archive in parts.
struct SavedVersion
{
    // The file's full path, as the save note's subject gives it.
    QString path;
    // When its first part was sent.
    QDateTime noteDate;
    // The number of parts the subjects announce; 1 for an archive in one note.
    int partCount = 1;
    // The set its notes were sent in; empty for notes written before sets were marked.
    QString setId;
    // The notes the mailbox holds for it, in part order, each with its part number:
    // a part that never came is a gap in partNumbers.
    QList<MailboxNote> parts;
    QList<int> partNumbers;
    // Why notes that claim one set cannot make one archive (their counts differ, or
    // two different notes claim one part); empty when nothing is wrong with them.
    QString problem;

    bool complete() const { return problem.isEmpty() && parts.size() == partCount; }
    // The part numbers the mailbox lacks, ascending.
    QList<int> missingParts() const;
    // Why it cannot be restored: "incomplete: parts 2 and 4 of 5 are missing" or
    // "not restorable: ..."; empty when it is complete.
    QString fault() const;
    // The archive's size, estimated from the encoded attachments.
    qint64 archiveSize() const;
};

// A file with every version the mailbox holds, newest first.
struct SavedFile
{
    QString path;
    QList<SavedVersion> versions;
};
