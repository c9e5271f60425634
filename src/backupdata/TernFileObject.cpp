#include "backupdata/TernFileObject.h"

#include "backupdata/BackUpLogAppend.h"
#include "backupdata/DriveCopy.h"
#include "backupdata/LogLineFormat.h"
#include "backupdata/SaveNote.h"
#include "core/Clock.h"
#include "core/FileSystemTree.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"

#include <QFile>
#include <QFileInfo>

namespace {

QDateTime wholeSeconds(const QDateTime& moment)
{
    return moment.addMSecs(-moment.time().msec());
}

QDateTime unreadableFileDate()
{
    return QDateTime(QDate(1960, 1, 1), QTime(0, 0));
}

} // namespace

TTernFileObject::TTernFileObject(FileIdCounter& ids)
    : m_ids(&ids), m_backupDate(wholeSeconds(Services::clock().now()))
{
    m_ids->advance();
}

bool TTernFileObject::Exists() const
{
    return QFileInfo(m_fileName).isFile();
}

QDateTime TTernFileObject::FileDate() const
{
    const QFileInfo info(m_fileName);
    if (!info.exists())
        return unreadableFileDate();
    const QDateTime modified = info.lastModified();
    return modified.isValid() ? wholeSeconds(modified) : unreadableFileDate();
}

QString TTernFileObject::SizeText() const
{
    if (!Exists())
        return QStringLiteral("? KB");
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("? KB");
    return QString::number(file.size() / 1024) + QStringLiteral(" KB");
}

qint64 TTernFileObject::SizeForLimit() const
{
    if (!Exists())
        return 0;
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.size() / 1024 * 1000;
}

QString TTernFileObject::RecordLine() const
{
    if (m_packedState)
        return BackUpLogAppend::packedRecordLine(m_fileName, *m_packedState, m_backupDate, m_id);
    return joinLogFields(m_fileName, FileDate(), SizeText(), m_backupDate, m_id);
}

void TTernFileObject::AppendToLog() const
{
    BackUpLogAppend::requireSingleLine(m_fileName);
    BackUpLogAppend::appendLines(TQuayRegistryObject().ReadLogFile(), {RecordLine()});
}

void TTernFileObject::AppendLinesToLog(const QStringList& lines) const
{
    for (const QString& line : lines)
        BackUpLogAppend::requireSingleLine(line);
    BackUpLogAppend::appendLines(TQuayRegistryObject().ReadLogFile(), lines);
}

void TTernFileObject::PrepareSaveNote(TIdMessage& message)
{
    SaveNote::address(message, m_fileName, m_id);
    m_backupDate = wholeSeconds(Services::clock().now());
}

QString TTernFileObject::SaveNoteSubject() const
{
    return SaveNote::subject(m_fileName, m_id);
}

QString TTernFileObject::SaveNoteSender()
{
    return SaveNote::sender();
}

QString TTernFileObject::SaveNoteRecipient() const
{
    return SaveNote::recipient();
}

void TTernFileObject::RememberLastLog() const
{
    TQuayRegistryObject().WriteLastBackUpLogFileName(SaveNote::lastLogName(m_fileName, m_id));
}

QString TTernFileObject::ZipArchiveName() const
{
    return ArchivePacking::archiveName(m_fileName, m_id);
}

QString TTernFileObject::ZipFolder()
{
    return ArchivePacking::zipFolder();
}

void TTernFileObject::SetUpZipPassword(TZipMaster& zip, const QString& password)
{
    ArchivePacking::setUpPassword(zip, password);
}

void TTernFileObject::CreateZip(TZipMaster& zip)
{
    ArchivePacking::pack(zip, m_fileName, m_id, m_packedState);
}

void TTernFileObject::AdoptZip(TZipMaster& zip, const QString& preparedArchive,
                               const FileState& packedState)
{
    ArchivePacking::adopt(zip, preparedArchive, m_fileName, m_id);
    m_packedState = packedState;
}

QString TTernFileObject::MakeRelativeName()
{
    m_id = m_ids->advance();
    m_relativeName =
        DiscStaging::relativeName(m_fileName, m_id, TQuayRegistryObject().ReadOverWriteFiles());
    return m_relativeName;
}

bool TTernFileObject::StageCopy(const QString& stagingFolder)
{
    const QString relative = MakeRelativeName();
    m_destinationPath =
        DiscStaging::shortenedStagingPath(stagingFolder, relative, QStringLiteral("~%1").arg(m_id));
    CopyFile(m_fileName, m_destinationPath);
    return DestinationExists();
}

bool TTernFileObject::DestinationExists() const
{
    return QFileInfo(m_destinationPath).isFile();
}

bool TTernFileObject::DeleteDestination() const
{
    return QFile::remove(m_destinationPath);
}

bool TTernFileObject::ExistsOnDrive(const QString& mountPoint) const
{
    return DiscStaging::existsOnDrive(mountPoint, m_relativeName);
}

void TTernFileObject::insertCopyNumber(QString& path, int number)
{
    FileNameParts::insertCopyNumber(path, number);
}

QString TTernFileObject::driveDestinationOf(const QString& fileName, const QString& backUpFolder,
                                            std::optional<int> number)
{
    return DriveCopy::destinationOf(fileName, backUpFolder, number);
}

QString TTernFileObject::MakeDriveDestination()
{
    const TQuayRegistryObject store;
    // The counter as this run's file object left it: every copy of one run carries
    // the same number, and the next run a higher one.
    std::optional<int> number;
    if (!store.ReadOverWriteFiles())
        number = m_ids->current();
    m_destinationPath =
        DriveCopy::destinationOf(m_fileName, store.ReadUserBackUpEmailAddress(), number);
    m_backupDate = wholeSeconds(Services::clock().now());
    return m_destinationPath;
}

QString TTernFileObject::CopyToBackupFolder(QString* reason)
{
    const QString destination = MakeDriveDestination();
    // The record gives the state the copy was made from: a file changed while it is
    // copied stays due.
    QString why;
    m_packedState = FileState::of(m_fileName);
    const bool copied = DriveCopy::copy(m_fileName, destination, why);
    if (reason)
        *reason = why;
    return copied ? QString() : QStringLiteral("Could not copy file: ") + NamePart();
}

void TTernFileObject::CopyFile(const QString& source, const QString& destination,
                               bool keepModificationTime)
{
    FileSystemTree::copyFile(source, destination, keepModificationTime);
}

void TTernFileObject::RemoveFolderTree(const QString& folder)
{
    FileSystemTree::removeFolderTree(folder);
}
