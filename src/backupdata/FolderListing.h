#pragma once

#include <QString>
#include <QStringList>

// What one folder holds, as the walkers and the sequence see it.
//
// - files: the ordinary files directly inside, that is regular files and symbolic
//   links to regular files; hidden files (names beginning with ".") are left out.
// - folders: the sub-folders, real folders only: a symbolic link to a folder is never
//   followed (so no walk can loop), and hidden folders are left out.
//
// Both are names, sorted with listTextLess. A name that cannot be backed up is left
// out and reported: a name holding a line break or Ctrl-Z (no list or log line can
// hold it) and a name that is not valid UTF-8 (it cannot be opened again through a
// QString path). Refused file names go to fileProblems, refused sub-folder names and a
// folder that cannot be read (no names then) to folderProblems, so that a walker over
// folders reports only what concerns folders.
struct FolderListing
{
    QStringList files;
    QStringList folders;
    QStringList fileProblems;
    QStringList folderProblems;
};

FolderListing listFolder(const QString& folder);

// folder + "/" + name, without doubling the "/" after the root.
QString joinFolderPath(const QString& folder, const QString& name);

QString unreadableFolderMessage(const QString& folder);
QString undecodableNameMessage(const QString& path);
