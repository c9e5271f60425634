#pragma once

#include "backupdata/LocalFileStatus.h"

#include <QList>
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
    // What each of files was when it was looked at, for walkers that look at them
    // ahead (listFolder leaves it empty).
    QList<LocalFileStatus> fileStatuses;
    // The number of files; with FileNames::CountOnly the only answer about them.
    qsizetype fileCount = 0;
    QStringList folders;
    QStringList fileProblems;
    QStringList folderProblems;
    // The folder's device and inode numbers, so that a walk can enter each folder
    // once; both 0 when the folder could not be read.
    quint64 device = 0;
    quint64 inode = 0;
};

enum class FileNames
{
    Keep,
    // Counts the files without making their names: a walk that only counts files
    // then costs little more than reading the folders.
    CountOnly
};

FolderListing listFolder(const QString& folder, FileNames fileNames = FileNames::Keep);

// folder + "/" + name, without doubling the "/" after the root.
QString joinFolderPath(const QString& folder, const QString& name);

QString unreadableFolderMessage(const QString& folder);
QString undecodableNameMessage(const QString& path);
