#pragma once

#include <QString>

// The parts of a file's name that archive names, subjects and copies are made of.
namespace FileNameParts {

// The characters after the last "/" up to the first "." that follows (leading dots of
// a hidden file's name do not count).
QString namePartOf(const QString& path);
// The extension with its "." replaced by "-": "report.doc" gives "-doc"; empty when
// the name has none (a hidden file's leading dot is not an extension).
QString extensionTagOf(const QString& path);
// Puts " (N) " into the file's own name of a path: before its first "." that is not a
// leading one, or at its end when there is none.
void insertCopyNumber(QString& path, int number);
// Index of the first character of name after a hidden file's leading dots.
qsizetype afterLeadingDots(const QString& name);
// text cut to at most length characters without splitting a surrogate pair.
QString leftWhole(const QString& text, qsizetype length);

} // namespace FileNameParts
