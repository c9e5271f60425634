#pragma once

#include <QString>

// Staging files for a disc: each file under a relative name in a staging folder
// whose tree is then burned.
namespace DiscStaging {

// The longest staged path this platform's disc images take.
constexpr int MaxStagedPathLength = 255;

// The path without its leading "/"; unless overWrite, numbered with id in the file's
// own name as the drive copies are (numbering the first dot of the path would put
// each file of a dotted folder into a folder of its own).
QString relativeName(const QString& fileName, int id, bool overWrite);
// The staged path for a relative name below a staging folder: paths longer than
// MaxStagedPathLength characters go below "Files With Shortened Paths", losing leading
// folder levels and, as a last resort, part of the file name (uniqueTag keeps it
// distinct). Raises KestrelError when the staging folder leaves no room for a name.
QString shortenedStagingPath(const QString& stagingFolder, const QString& relativeName,
                             const QString& uniqueTag);
// A file exists at relativeName below the folder where a disc or device is mounted.
bool existsOnDrive(const QString& mountPoint, const QString& relativeName);

} // namespace DiscStaging
