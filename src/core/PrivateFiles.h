#pragma once

#include <QString>

class QFileDevice;

// The program's own files (the lists, the backup log and its archive copies, the
// sequence data files, the mailbox catalog, the settings) name every path the user
// backs up: only the user may read them. They are made 0600 and their folders 0700;
// what an earlier version left readable to others is tightened at start.
namespace PrivateFiles {

// Makes an open file private to its owner; the file a QSaveFile writes keeps it when
// committed. False when the system refuses.
bool makePrivate(QFileDevice& file);
// Like QDir::mkpath, and each folder it makes is private.
bool makePrivateFolder(const QString& path);
// The folders under which the program keeps its own files: settings, data, cache.
QStringList programRoots();
// Tightens the program's folders and what they hold (links are not followed). Quick
// when nothing is loose: a root that is private already is not walked again.
void tightenAtStart();
// Tightens one file of the program's kept where the user chose (the log, the lists).
void tightenFile(const QString& path);

} // namespace PrivateFiles
