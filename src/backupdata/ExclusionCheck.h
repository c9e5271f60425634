#pragma once

#include "backupdata/ExcludePatterns.h"

#include <QString>
#include <QStringList>

// Whether one path would be left out of a back up sequence, and by what: the answer of
// the Folder Selection page's test field. The path is matched below the deepest
// selected folder that holds it, as the walk matches it; a path below none of them is
// matched by its name, as a file picked on its own.
struct ExclusionCheck
{
    ExcludePatterns patterns;
    bool cacheFolders = false;
    // Files larger than this many bytes are left out; 0, no limit.
    qint64 largerThan = 0;

    enum class Reason
    {
        None,
        Pattern,
        CacheFolder,
        TooLarge
    };
    struct Verdict
    {
        Reason reason = Reason::None;
        // The line of Exclude.Txt that decided, a "!" line that takes the path back
        // included; 0 when no line matched.
        int line = 0;
        QString pattern;
        // The folder holding the CACHEDIR.TAG.
        QString cacheFolder;
        // The selected folder the path was matched below; empty, matched by its name.
        QString selectedFolder;
        bool leftOut() const { return reason != Reason::None; }
    };

    // path: absolute; a trailing "/" marks a folder that need not exist.
    Verdict check(const QString& path, const QStringList& selectedFolders) const;
    // One line for the user ("Left out by line 3 of Exclude.Txt: *.tmp").
    QString describe(const Verdict& verdict) const;
};
