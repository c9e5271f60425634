#pragma once

#include <QString>
#include <QStringList>

// Appends entries to a list file, as the file-manager helper does. The caller holds
// the list's SelectionListLock.
//
// Entries already in the list, and repeats within `entries`, are left out; the rest
// are written with one append of whole lines (CR LF ends), so a reader never sees a
// torn line. A list whose last line lacks its line end gets one first, so the new
// entry does not join it. A missing file is created. Every entry must be listable
// (isListableName). Returns the entries written, in order. Throws KestrelError with
// the file's path when the list cannot be read or written.
QStringList appendSelectionListEntries(const QString& path, const QStringList& entries);
