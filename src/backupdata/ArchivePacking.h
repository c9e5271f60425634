#pragma once

#include "backupdata/FileState.h"

#include <QString>

#include <optional>

class TZipMaster;

// Packing one file into its own archive in the zip folder.
namespace ArchivePacking {

// The longest file name (in bytes) that the file systems of this platform hold.
constexpr int MaxFileNameBytes = 255;

// The zip folder, made when it is missing; raises KestrelError when it cannot be.
QString zipFolder();
// The archive's file name (no folder) for the running edition, at most
// MaxFileNameBytes long: the name part gives way when the whole would not fit.
QString archiveName(const QString& fileName, int id);
// The options and password with which files are packed, for the user's password.
void setUpPassword(TZipMaster& zip, const QString& password);
// Packs the file into zipFolder()/archiveName() with the user's password, taking the
// file's state into packedState just before; raises KestrelError when no archive was
// made.
void pack(TZipMaster& zip, const QString& fileName, int id, std::optional<FileState>& packedState);
// Renames an archive made beforehand (with setUpPassword's options) to the name pack
// gives, leaving zip as pack leaves it. Raises KestrelError when it cannot be taken;
// the prepared archive is removed either way.
void adopt(TZipMaster& zip, const QString& preparedArchive, const QString& fileName, int id);

} // namespace ArchivePacking
