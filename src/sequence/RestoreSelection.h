#pragma once

#include "sequence/SavedFiles.h"

#include <QList>

// One thing the user chose to restore: a file (its latest version) or one version
// of it.
struct RestorePick
{
    const SavedFile* file = nullptr;
    // An index into file->versions; -1 for the latest.
    int version = -1;
};

// The versions to restore for the picks, one per file, in the order the files were
// first picked: a version chosen on its own wins over the latest that a selected
// file or folder brings, since both would be written to the same place. Of two
// versions chosen on their own the newer wins.
QList<SavedVersion> versionsToRestore(const QList<RestorePick>& picks);
