#pragma once

#include <QString>
#include <QStringList>

class PathTree;

// Moving a selection tree to and from its list file: the files tree and `Files.Txt`,
// the folders tree and `Dirs.Txt`. Problems are told to the user through the prompt
// and reported as false; nothing here throws, so the window's save points and page
// events can call it directly.
class SelectionTreeFile
{
public:
    // When the tree is saved with no nodes left. At the save points an empty tree
    // leaves the list file as it is; after the user removed the last entry the file is
    // emptied, or the removed entry would come back at the next start.
    enum class WhenEmpty
    {
        KeepFile,
        EmptyFile
    };

    // Inserts every entry of the list file into the tree (entries already there stay).
    // A missing file changes nothing.
    static bool fill(PathTree& tree, const QString& listPath);
    // Inserts entries, as read from a list, into the tree of their kind.
    static void insertEntries(PathTree& tree, const QStringList& entries);
    // The page-shown reload: when the list's change flag is set and its file exists,
    // inserts the file's entries and clears the flag. Returns false, after telling the
    // user, when the file cannot be read (the flag then stays set).
    static bool mergeChanges(PathTree& tree);
    // Rewrites the list file from the tree. Entries another program added since the
    // last reload are merged into the tree first, so writing cannot drop them; when
    // they cannot be read, the file is left as it is.
    static bool save(PathTree& tree, const QString& listPath,
                     WhenEmpty whenEmpty = WhenEmpty::KeepFile);

private:
    static bool mergeChanges(PathTree& tree, bool locked);
    static void writeEmptyList(const QString& listPath);
};
