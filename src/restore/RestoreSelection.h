#pragma once

#include "restore/SavedFiles.h"

#include <QList>
#include <QString>
#include <QStringList>

// One thing the user chose to restore: a file (its latest version) or one version
// of it.
struct RestorePick
{
    const SavedFile* file = nullptr;
    // An index into file->versions; -1 for the latest.
    int version = -1;
};

// The version a file restores when none was chosen, of its candidates (newest
// first): the newest when it is whole. A restore never goes back in time unseen:
// when the newest is not whole, the newest whole one before it is taken and the
// notice names both dates; without one the newest is taken (its restore fails with
// its fault) and the notice says so.
struct LatestChoice
{
    const SavedVersion* version = nullptr;
    QString notice;
};
LatestChoice latestToRestore(const QString& path, const QList<const SavedVersion*>& candidates);

// The versions to restore for the picks, one per file, in the order the files were
// first picked: a version chosen on its own wins over the latest that a selected
// file or folder brings, since both would be written to the same place. Of two
// versions chosen on their own the newer wins. A file's latest is as latestToRestore
// takes it; its notices are added to notices.
QList<SavedVersion> versionsToRestore(const QList<RestorePick>& picks,
                                      QStringList* notices = nullptr);
