#pragma once

#include <QString>

// Copying one file and removing a whole folder, for every layer that stages or
// clears files on disk (the backup's file object, the CD burner's staging area).
namespace FileSystemTree {

// Byte copy through a temporary file, so an existing destination is replaced only
// by a complete copy. Missing parent folders are created. Raises KestrelError when
// the source cannot be read or the destination written. With keepModificationTime
// the copy has the source's modification time.
void copyFile(const QString& source, const QString& destination, bool keepModificationTime);

// Deletes the folder with everything in it. Symbolic links are removed, never
// followed, and file systems mounted inside the tree are left alone. Entries that
// cannot be deleted are left.
void removeFolderTree(const QString& folder);

} // namespace FileSystemTree
