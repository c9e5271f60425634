#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Exclude.Txt as the window edits it: the lines in file order as the lists' reader
// gives them (blank lines and leading blanks dropped, a Ctrl-Z ends the text), each
// line's bytes kept as they are, so a pattern written for a name that is not UTF-8
// survives an edit of another line. CR LF written.
namespace ExcludeListFile {

// The file's bytes; a missing file has none. Throws KestrelError naming the file when
// it exists but cannot be read.
QByteArray readText(const QString& path);
QList<QByteArray> readLines(const QString& path);
// Rewrites the file atomically and private to the user; the old content stays whole
// until the new one is complete. Throws KestrelError naming the file.
void writeLines(const QString& path, const QList<QByteArray>& lines);

} // namespace ExcludeListFile
