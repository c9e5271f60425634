#pragma once

#include "restore/SavedFiles.h"

#include <QList>
#include <QString>

#include <optional>

// What a save note's subject says: the file's path and, for an archive mailed in
// parts, which part of how many.
struct SaveNoteSubject
{
    QString path;
    int part = 1;
    int count = 1;

    // Reads "<prefix><path>" or "<prefix><path> (part n of m)". The part suffix
    // counts only when the attachment carries the part's name ("<archive>.00n"), so
    // a file that is itself called "x (part 1 of 2)" keeps its name. None for any
    // other subject, or one without a path.
    static std::optional<SaveNoteSubject> parse(const QString& prefix, const QString& subject,
                                                const QString& attachmentName);
};

// Groups the save notes into files and versions. Notes of one sent set (the same
// path and set id) are one version, its parts in part order whatever order they
// arrived in, a part delivered twice counted once. Notes without a set id are
// grouped by path and count in the order they were sent (note date, then part
// number), a part repeated or missing closing the run as an incomplete version.
// Files sorted by path, versions newest first.
QList<SavedFile> groupSavedVersions(const QString& prefix, const QList<MailboxNote>& notes);
