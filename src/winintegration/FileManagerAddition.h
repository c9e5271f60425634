#pragma once

#include <QString>
#include <QStringList>

// What the file-manager helper does with the paths it was given: regular files (a
// link to a regular file counts as one) join the files list, folders the folders
// list, and the list's change flag (`FileListHasChanged`, `FolderListHasChanged`) is
// set so the window reads the list again when its page is shown. A path already
// listed is not added again. Anything else (a device, a socket, a missing path) and
// names a list cannot hold (line breaks) are refused and nothing is written for them.
class FileManagerAddition
{
public:
    struct Result
    {
        int filesAdded = 0;
        int foldersAdded = 0;
        int alreadyListed = 0;
        // One message a refused path.
        QStringList refused;
        // A list that could not be written: its path. The paths meant for it are lost.
        QStringList failedLists;
    };

    // Relative paths are taken from the current folder. Never throws.
    static Result add(const QStringList& paths);

    // The one line that tells the user what happened.
    static QString summaryLine(const Result& result, const QString& editionName);
};
