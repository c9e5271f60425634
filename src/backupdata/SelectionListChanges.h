#pragma once

#include "backupdata/SelectionList.h"

#include <optional>

// Another program (the file-manager helper) appends to a list file and sets the
// list's change flag (`FileListHasChanged`, `FolderListHasChanged`) to ask the window
// to read the list again.
//
// When the flag is set and the list file exists: reads the list, writes the flag
// false and returns the entries, which the caller inserts into its tree (entries
// already there stay, nothing is removed). When the flag is clear, or the file does
// not exist (the flag then keeps its value), returns nothing. Throws KestrelError
// with the file's path when the file cannot be read; the flag is then kept.
//
// The read and the clearing of the flag happen under the list's SelectionListLock, so
// an append that the helper makes meanwhile is either read now or keeps the flag set.
std::optional<QStringList> takeChangedSelectionList(SelectionListKind kind);
// The same for a caller that holds the list's lock already.
std::optional<QStringList> takeChangedSelectionListLocked(SelectionListKind kind);
