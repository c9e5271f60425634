#pragma once

#include "backupdata/SelectionTreeNode.h"

#include <QString>
#include <QStringList>

// The two selection lists: `Files.Txt` (one file path a line) and `Dirs.Txt` (one
// folder path a line, no trailing "/"; the whole file system is "/"). Lines follow
// the text rules of SelectionListText.h.
enum class SelectionListKind
{
    Files,
    Folders
};

// The entries of a list file in file order. A missing file has no entries. Throws
// KestrelError with the file's path when the file exists but cannot be read.
QStringList readSelectionList(const QString& path);

struct SelectionListEntries
{
    QStringList entries;
    // One message (unlistableNameMessage) per node path that a list cannot hold.
    QStringList refused;
};

// The entries a tree gives, in depth-first pre-order (each root, then its children in
// tree order). Files list: every node without children. Folders list: every node
// without children and every selected folder (image 2), so a selected folder with
// selected sub-folders comes first and its sub-folders follow it.
SelectionListEntries selectionListEntries(const SelectionTree& tree, SelectionListKind kind);

// Rewrites the list file from the tree, atomically: the old content stays whole until
// the new one is complete. A tree without nodes leaves the file as it is. Entries the
// list cannot hold are skipped and their messages returned. Throws KestrelError with
// the file's path when the file cannot be written.
QStringList writeSelectionList(const QString& path, const SelectionTree& tree,
                               SelectionListKind kind);
