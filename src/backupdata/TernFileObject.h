#pragma once

#include "backupdata/ArchivePacking.h"
#include "backupdata/DiscStaging.h"
#include "backupdata/FileIdCounter.h"
#include "backupdata/FileNameParts.h"
#include "backupdata/FileState.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class TIdMessage;
class TZipMaster;

// The working object for the file being processed. A sequence creates one, sets
// FileName to each file in turn and asks it for dates, sizes and derived names; it
// prepares the file's save note, packs it into its zip archive, appends its record
// to the backup log and stages it for a disc. It also serves two file-system chores:
// copying one file and removing a folder tree.
//
// The object holds the file's state; the work is done by SaveNote, ArchivePacking,
// BackUpLogAppend, DriveCopy, DiscStaging and FileSystemTree.
class TTernFileObject
{
public:
    // Advances the counter by one; ID stays 0 and BackupDate is the current time.
    // The counter must outlive the object.
    explicit TTernFileObject(FileIdCounter& ids);
    // With the program's counter in the settings (FileIDNumber).
    TTernFileObject() : TTernFileObject(FileIdCounter::settings()) {}

    const QString& FileName() const { return m_fileName; }
    // Pointing at another file forgets the state the last archive was made from.
    void SetFileName(const QString& fileName)
    {
        m_fileName = fileName;
        m_packedState.reset();
    }
    int ID() const { return m_id; }
    void SetID(int id) { m_id = id; }
    const QDateTime& BackupDate() const { return m_backupDate; }
    void SetBackupDate(const QDateTime& backupDate) { m_backupDate = backupDate; }
    const QString& DestinationPath() const { return m_destinationPath; }
    void SetDestinationPath(const QString& path) { m_destinationPath = path; }
    const QString& RelativeName() const { return m_relativeName; }
    void SetRelativeName(const QString& name) { m_relativeName = name; }

    // FileName is a regular file (or a link to one).
    bool Exists() const;
    // Last modification in local time, whole seconds; 1 January 1960 00:00 when the
    // file cannot be read.
    QDateTime FileDate() const;
    // "<bytes / 1024> KB", or "? KB" when the file cannot be opened for reading.
    QString SizeText() const;
    // Whole kilobytes times 1000, counted against the byte limits of the drive and
    // disc sequences; 0 when the file cannot be opened. 64-bit, so files past 2 GB
    // count correctly.
    qint64 SizeForLimit() const;
    QString NamePart() const { return FileNameParts::namePartOf(m_fileName); }
    QString ExtensionTag() const { return FileNameParts::extensionTagOf(m_fileName); }

    // The file's backup log line, without its line end. Once the file has been packed,
    // the line gives the date and size the archive was made from, not what the file
    // holds now: a file changed while it was packed or mailed stays due. A change
    // within the same second as the packed date would look current to the log,
    // which keeps whole seconds, so such a file is recorded one second earlier.
    QString RecordLine() const;
    // Append RecordLine, or each line of the list, to the backup log. Every line is
    // on the disk when the call returns. A file name with a line break cannot be
    // held by the line-per-record log and is refused with a KestrelError.
    void AppendToLog() const;
    void AppendLinesToLog(const QStringList& lines) const;

    // Sender, recipient and subject of the save note; sets BackupDate to now.
    void PrepareSaveNote(TIdMessage& message);
    QString SaveNoteSubject() const;
    // The address every message of the program is sent from (save notes and requests).
    static QString SaveNoteSender();
    QString SaveNoteRecipient() const;

    // Packs the file into its own archive in the zip folder, taking the file's state
    // just before; raises KestrelError when no archive was made.
    void CreateZip(TZipMaster& zip);
    // Takes an archive of the file made beforehand (by a TZipMaster set up with
    // SetUpZipPassword) from the file in packedState, in place of CreateZip: it is
    // renamed to the name CreateZip gives, and zip is left as CreateZip leaves it.
    // Raises KestrelError when it cannot be taken; the prepared archive is then
    // removed.
    void AdoptZip(TZipMaster& zip, const QString& preparedArchive, const FileState& packedState);
    // The state of the file that the last archive (or drive copy) was made from.
    const std::optional<FileState>& PackedState() const { return m_packedState; }
    // The options and password with which CreateZip packs, for the user's password.
    static void SetUpZipPassword(TZipMaster& zip, const QString& password);
    // The zip folder, made when it is missing; raises KestrelError when it cannot be.
    static QString ZipFolder();
    // The archive's file name (no folder) for the running edition, at most
    // MaxFileNameBytes long.
    QString ZipArchiveName() const;

    // Stores the name under which the last backed-up log can be requested.
    void RememberLastLog() const;

    // Staging name with a fresh ID, also stored in RelativeName.
    QString MakeRelativeName();
    // Copies the file under its relative name into the staging folder, shortening
    // over-long paths; true when the copy exists afterwards.
    bool StageCopy(const QString& stagingFolder);
    bool DestinationExists() const;
    bool DeleteDestination() const;
    // A file exists at RelativeName below the given folder. On this platform the
    // "drive" is the folder where a disc or device is mounted (or any folder that
    // holds the staged tree).
    bool ExistsOnDrive(const QString& mountPoint) const;

    // Drive edition: the path of the file's copy below the backup folder (the setting
    // UserBackUpEmailAddress), stored as DestinationPath; sets BackupDate to now.
    QString MakeDriveDestination();
    // Copies the file to MakeDriveDestination's path, keeping its modification time,
    // and takes the file's state just before, which RecordLine then gives. Returns an
    // empty text on success and "Could not copy file: " with the name part when the
    // copy failed (why, in reason when given). Raises KestrelError "Cannot create back
    // up folder." when the copy's folder cannot be made.
    QString CopyToBackupFolder(QString* reason = nullptr);
    // The copy's path for a source path: the source below the backup folder, its
    // leading "/" dropped; with a number, " (number) " goes into the file's own name
    // before its first "." after any leading dots, or at its end when there is none.
    // A dot in a folder's name is left alone, so the copy stays below the backup
    // folder.
    static QString driveDestinationOf(const QString& fileName, const QString& backUpFolder,
                                      std::optional<int> number);
    // Puts " (N) " into the file's own name of a path: before its first "." that is not
    // a leading one, or at its end when there is none (copies and staged files alike).
    static void insertCopyNumber(QString& path, int number);

    // Byte copy through a temporary file, so an existing destination is replaced
    // only by a complete copy. Missing parent folders are created. Raises
    // KestrelError when the source cannot be read or the destination written. With
    // keepModificationTime the copy has the source's modification time.
    static void CopyFile(const QString& source, const QString& destination,
                         bool keepModificationTime = false);
    // Deletes the folder with everything in it. Symbolic links are removed, never
    // followed, and file systems mounted inside the tree are left alone. Entries
    // that cannot be deleted are left.
    static void RemoveFolderTree(const QString& folder);

    // See FileNameParts.
    static QString namePartOf(const QString& path) { return FileNameParts::namePartOf(path); }
    static QString extensionTagOf(const QString& path)
    {
        return FileNameParts::extensionTagOf(path);
    }
    // See DiscStaging.
    static QString shortenedStagingPath(const QString& stagingFolder, const QString& relativeName,
                                        const QString& uniqueTag)
    {
        return DiscStaging::shortenedStagingPath(stagingFolder, relativeName, uniqueTag);
    }

    static constexpr int MaxStagedPathLength = DiscStaging::MaxStagedPathLength;
    static constexpr int MaxFileNameBytes = ArchivePacking::MaxFileNameBytes;

private:
    FileIdCounter* m_ids;
    QString m_fileName;
    int m_id = 0;
    QDateTime m_backupDate;
    QString m_destinationPath;
    QString m_relativeName;
    std::optional<FileState> m_packedState;
};
