#pragma once

#include "backupdata/WalkFilter.h"

#include <QString>
#include <QStringList>

// Whether one path would be left out of a back up sequence, and by what: the answer of
// the Folder Selection page's test field, from the walk's own filter. The path is
// matched below the deepest selected folder that holds it, as the walk matches it, and
// each folder on the way is tried as the walk would try it before entering; a path
// below none of them is matched by its name, as a file picked on its own.
struct ExclusionCheck
{
    WalkFilter filter;

    struct Verdict
    {
        // Why it is left out, as the walk tells it; empty when it is backed up.
        QString reason;
        // The folder left out above the path, when that folder decided.
        QString leftOutFolder;
        // The selected folder the path was matched below; empty, matched by its name.
        QString selectedFolder;
        bool leftOut() const { return !reason.isEmpty(); }
    };

    // path: absolute; a trailing "/" marks a folder that need not exist.
    Verdict check(const QString& path, const QStringList& selectedFolders) const;
    // One line for the user ("Left out: Exclude.Txt line 3: *.tmp").
    static QString describe(const Verdict& verdict);
};
