#pragma once

#include "transport/MailboxReader.h"

#include <QDateTime>
#include <QList>
#include <QString>

// One saved version of a file in the mailbox: the save note, or the run of notes
// carrying its archive in parts.
struct SavedVersion
{
    // The file's full path, as the save note's subject gives it.
    QString path;
    // When its (first) note was sent.
    QDateTime noteDate;
    // The number of parts the subjects announce; 1 for an archive in one note.
    int partCount = 1;
    // The notes the mailbox holds for it, in part order; fewer than partCount when
    // parts are missing.
    QList<MailboxNote> parts;

    bool complete() const { return parts.size() == partCount; }
    // The archive's size, estimated from the encoded attachments.
    qint64 archiveSize() const;
};

// A file with every version the mailbox holds, newest first.
struct SavedFile
{
    QString path;
    QList<SavedVersion> versions;
};
