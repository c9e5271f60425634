#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Exclude.Txt as the window edits it: the lines in file order, blank lines dropped as
// every reader drops them, each line's bytes kept as they are, so a pattern written
// for a name that is not UTF-8 survives an edit of another line. Text rules of the
// lists: CR LF written, CR LF or LF read, a Ctrl-Z ends the text.
namespace ExcludeListFile {

// A missing file has no lines. Throws KestrelError naming the file when it exists but
// cannot be read.
QList<QByteArray> readLines(const QString& path);
// Rewrites the file atomically and private to the user; the old content stays whole
// until the new one is complete. Throws KestrelError naming the file.
void writeLines(const QString& path, const QList<QByteArray>& lines);

} // namespace ExcludeListFile
