#pragma once

#include <QString>

#include <optional>

// The drive edition's copy of a file below the backup folder.
namespace DriveCopy {

// The copy's path for a source path: the source below the backup folder, its leading
// "/" dropped; with a number, " (number) " goes into the file's own name before its
// first "." after any leading dots, or at its end when there is none. A dot in a
// folder's name is left alone, so the copy stays below the backup folder.
QString destinationOf(const QString& fileName, const QString& backUpFolder,
                      std::optional<int> number);
// Copies the file to destination, keeping its modification time. Raises KestrelError
// "Cannot create back up folder." when the copy's folder cannot be made; returns false
// with the reason when the copy itself failed.
bool copy(const QString& fileName, const QString& destination, QString& reason);

} // namespace DriveCopy
