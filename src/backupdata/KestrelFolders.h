#pragma once

#include "backupdata/FolderListing.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// The folder walkers: expanding a selected folder into its sub-folders, and the
// search for folders changed since a date. Both see folders as listFolder does
// (FolderListing.h): symbolic links to folders are never followed and hidden folders
// are left out, so a walk can neither loop nor wander into a program's own data
// (this program's log and archives lie in a hidden folder of the home folder). A
// folder the user selected is walked even when it is hidden itself.
//
// Names that cannot be backed up and folders that cannot be read are skipped and
// reported through problems; the walk goes on.
class TKestrelFolders
{
public:
    // Called once per folder visited; the window processes pending events in it.
    // Returning false stops the walk.
    using WalkStep = std::function<bool()>;

    // Adds to list the full path of every folder below folder, at any depth, each
    // folder before its own sub-folders; sub-folders of one folder in listTextLess
    // order.
    static void GetSubFolders(const QString& folder, QStringList& list,
                              QStringList* problems = nullptr);
    // GetSubFolders that also keeps what it read of each folder, folder itself
    // included (listFolder's answer, by path), for callers that go on to the files.
    // enter, when given, is asked about every sub-folder found: one it refuses is
    // neither listed nor walked.
    using FolderFilter = std::function<bool(const QString& path)>;
    static void GetSubFolders(const QString& folder, QStringList& list,
                              QHash<QString, FolderListing>& listings, QStringList* problems,
                              const FolderFilter& enter = {});

    // Adds to list the full path of every folder below folder whose last change is
    // strictly later than the date in sinceDateText ("dd/MM/yyyy", local midnight;
    // "dd/MM/yyyy hh:mm:ss" is read too), outside the excluded areas. Throws
    // KestrelError when the text is not a date.
    static void FindNewFolders(const QString& folder, const QString& sinceDateText,
                               QStringList& list, const WalkStep& step = {},
                               QStringList* problems = nullptr);

    // Where the new-folder search starts: the home folder.
    static QString newFolderSearchRoot();

    // The areas the search neither lists nor enters: the system's own folders
    // (/proc, /sys, /dev, /run, /tmp, /usr, /var, /etc, /boot, /snap, /lost+found) and
    // this program's data folder. Hidden folders are excluded by the walk itself. A
    // search that starts inside one of these areas searches that area.
    static QStringList excludedSearchAreas();
};
