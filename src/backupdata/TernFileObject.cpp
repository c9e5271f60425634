#include "backupdata/TernFileObject.h"

#include "backupdata/LogLineFormat.h"
#include "backupdata/MachineNumber.h"
#include "core/Clock.h"
#include "core/EditionProfile.h"
#include "core/FileSystemTree.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "transport/IdMessage.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString ShortenedPathsFolder = QStringLiteral("/Files With Shortened Paths");

QDateTime wholeSeconds(const QDateTime& moment)
{
    return moment.addMSecs(-moment.time().msec());
}

QDateTime unreadableFileDate()
{
    return QDateTime(QDate(1960, 1, 1), QTime(0, 0));
}

bool hasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

void requireSingleLine(const QString& fileName)
{
    if (hasLineBreak(fileName))
        throw KestrelError(
            QStringLiteral("The file name contains a line break and cannot be backed up: %1")
                .arg(QString(fileName)
                         .replace(QLatin1Char('\n'), QLatin1Char(' '))
                         .replace(QLatin1Char('\r'), QLatin1Char(' '))));
}

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Index of the first character after a hidden file's leading dots.
qsizetype afterLeadingDots(const QString& name)
{
    qsizetype start = 0;
    while (start < name.size() && name.at(start) == QLatin1Char('.'))
        ++start;
    return start;
}

// Cuts text to at most length characters without splitting a surrogate pair.
QString leftWhole(const QString& text, qsizetype length)
{
    QString cut = text.left(length);
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

// Makes a file name fit into budget characters, keeping its extension and ending
// its stem in uniqueTag so two shortened names never meet.
QString shortenFileName(const QString& name, const QString& uniqueTag, qsizetype budget)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot >= afterLeadingDots(name);
    const QString extension = hasExtension ? name.mid(dot) : QString();
    const QString stem = hasExtension ? name.left(dot) : name;
    const qsizetype stemRoom = budget - extension.size() - uniqueTag.size();
    if (stemRoom >= 1)
        return leftWhole(stem, stemRoom) + uniqueTag + extension;
    const qsizetype nameRoom = budget - uniqueTag.size();
    if (nameRoom >= 1)
        return leftWhole(name, nameRoom) + uniqueTag;
    return QString();
}

void syncFolder(const QString& folder)
{
    const int descriptor = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

// What the log lacks of its last line end when that line was cut short (say by a
// crash or a power cut while it was written), so a new record is not glued to it.
// A last CR is the first half of a line end, as no record holds a CR of its own.
QByteArray missingLineEnd(const QString& logPath)
{
    QFile log(logPath);
    char last = '\n';
    if (log.open(QIODevice::ReadOnly) && log.size() > 0 && log.seek(log.size() - 1))
        log.getChar(&last);
    if (last == '\n')
        return QByteArray();
    return last == '\r' ? QByteArray("\n") : QByteArray(logLineEnd.latin1());
}

} // namespace

TTernFileObject::TTernFileObject() : m_backupDate(wholeSeconds(Services::clock().now()))
{
    const TQuayRegistryObject store;
    store.WriteFileIDNumber(store.ReadFileIDNumber() + 1);
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
    if (!m_packedState)
        return joinLogFields(m_fileName, FileDate(), SizeText(), m_backupDate, m_id);
    const FileState& packed = *m_packedState;
    qint64 recordedSeconds = packed.modifiedSeconds;
    const std::optional<FileState> now = FileState::of(m_fileName);
    const bool changed =
        now && (now->device != packed.device || now->inode != packed.inode ||
                now->size != packed.size || now->modifiedSeconds != packed.modifiedSeconds ||
                now->modifiedNanoseconds != packed.modifiedNanoseconds);
    if (changed && now->modifiedSeconds == packed.modifiedSeconds)
        --recordedSeconds;
    return joinLogFields(m_fileName, QDateTime::fromSecsSinceEpoch(recordedSeconds),
                         QString::number(packed.size / 1024) + QStringLiteral(" KB"), m_backupDate,
                         m_id);
}

void TTernFileObject::AppendToLog() const
{
    requireSingleLine(m_fileName);
    appendLines({RecordLine()});
}

void TTernFileObject::AppendLinesToLog(const QStringList& lines) const
{
    for (const QString& line : lines)
        requireSingleLine(line);
    appendLines(lines);
}

void TTernFileObject::appendLines(const QStringList& lines) const
{
    const QString logPath = TQuayRegistryObject().ReadLogFile();
    const bool created = !QFileInfo::exists(logPath);
    QFile log(logPath);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        throw KestrelError(
            QStringLiteral("Could not open the backup log %1: %2").arg(logPath, log.errorString()));
    if (created)
        PrivateFiles::makePrivate(log);
    QByteArray bytes;
    if (!created)
        bytes += missingLineEnd(logPath);
    for (const QString& line : lines)
        bytes += line.toUtf8() + logLineEnd.latin1();
    // A record that was appended must survive a power cut: flush Qt's buffer, then
    // have the kernel put the data (and, for a new log, its folder entry) on disk.
    if (log.write(bytes) != bytes.size() || !log.flush() || ::fsync(log.handle()) != 0)
        throw KestrelError(QStringLiteral("Could not write to the backup log %1: %2")
                               .arg(logPath, log.errorString()));
    log.close();
    if (created)
        syncFolder(QFileInfo(logPath).absolutePath());
}

void TTernFileObject::PrepareSaveNote(TIdMessage& message)
{
    // A line break in the subject would end the header early.
    requireSingleLine(m_fileName);
    m_backupDate = wholeSeconds(Services::clock().now());
    message.From = TIdEmailAddressItem(QString(), SaveNoteSender());
    message.Recipients.setText(SaveNoteRecipient());
    message.Subject = SaveNoteSubject();
}

QString TTernFileObject::SaveNoteSubject() const
{
    if (isEdition(Edition::KestrelClient))
        return QStringLiteral("KestrelClient Save#") + lastLogName();
    return QStringLiteral("KestrelSolo Save#") + machineNumberText() + QLatin1Char('#') +
           m_fileName;
}

QString TTernFileObject::SaveNoteSender()
{
    const TQuayRegistryObject store;
    const QString userName = store.ReadUserSMPTServerName();
    // Most providers' log-ins are the account's full address, and "user@host" of such
    // a name ("ann@example.org@smtp.example.org") is no valid sender (RFC 5321
    // section 4.1.2): such a name is the sender as it stands.
    if (userName.contains(QLatin1Char('@')))
        return userName;
    // A server without log-in needs no user name; the user's own address stands in.
    if (userName.isEmpty() && !store.ReadUserEmailAddress().isEmpty())
        return store.ReadUserEmailAddress();
    // A server given by its address makes a domain literal ("jo@[192.0.2.7]"): mail
    // servers refuse a bare address after the "@" (RFC 5321 section 4.1.3).
    const QString server = store.ReadUserSMPTName().trimmed();
    const QHostAddress address(server);
    if (address.isNull())
        return userName + QLatin1Char('@') + server;
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return userName + QStringLiteral("@[IPv6:") + address.toString() + QLatin1Char(']');
    return userName + QStringLiteral("@[") + address.toString() + QLatin1Char(']');
}

QString TTernFileObject::SaveNoteRecipient() const
{
    return TQuayRegistryObject().ReadUserBackUpEmailAddress();
}

QString TTernFileObject::lastLogName() const
{
    const TQuayRegistryObject store;
    const QChar hash = QLatin1Char('#');
    return store.ReadUserID() + hash + machineNumberText() + hash + store.ReadUserQuayName() +
           hash + QString::number(m_id) + hash + NamePart();
}

void TTernFileObject::RememberLastLog() const
{
    TQuayRegistryObject().WriteLastBackUpLogFileName(lastLogName());
}

QString TTernFileObject::ZipArchiveName() const
{
    QString prefix;
    QString suffix = QStringLiteral(".zip");
    if (isEdition(Edition::KestrelClient))
        prefix = TQuayRegistryObject().ReadUserID() + QLatin1Char('#') + QString::number(m_id) +
                 QLatin1Char('#');
    else
        suffix.prepend(ExtensionTag());
    // A source name near the file-name limit would give an archive name past it and
    // the file could never be packed: the name part gives way, the rest stays.
    QString namePart = NamePart();
    while (!namePart.isEmpty() &&
           QFile::encodeName(prefix + namePart + suffix).size() > MaxFileNameBytes)
        namePart = leftWhole(namePart, namePart.size() - 1);
    return prefix + namePart + suffix;
}

QString TTernFileObject::ZipFolder()
{
    const QString zipFolder = QDir::cleanPath(TQuayRegistryObject().ReadZipDirectory());
    // One level only, as the zip folder's parent is the program folder or a folder
    // the user chose: a missing parent means the setting is wrong.
    if (!QFileInfo(zipFolder).isDir() &&
        ::mkdir(QFile::encodeName(zipFolder).constData(), 0700) != 0)
        throw KestrelError(QStringLiteral("Could not create the zip folder %1").arg(zipFolder));
    return zipFolder;
}

void TTernFileObject::SetUpZipPassword(TZipMaster& zip, const QString& password)
{
    if (password.isEmpty()) {
        zip.SetAddOptions({});
        zip.SetPassword(QString());
    } else {
        zip.SetAddOptions(TZipMaster::AddEncrypt);
        zip.SetPassword(leftWhole(password, TZipMaster::MaxPasswordLength));
    }
}

void TTernFileObject::CreateZip(TZipMaster& zip)
{
    m_packedState = FileState::of(m_fileName);
    zip.SetZipFileName(ZipFolder() + QLatin1Char('/') + ZipArchiveName());
    zip.FSpecArgs() = QStringList{m_fileName};
    SetUpZipPassword(zip, TQuayRegistryObject().ReadUserZipPassword());
    zip.AddFiles();
    if (zip.SuccessCount() <= 0)
        throw KestrelError(zip.LastErrorMessage().isEmpty()
                               ? QStringLiteral("Could not create back up zip file.")
                               : zip.LastErrorMessage());
}

void TTernFileObject::AdoptZip(TZipMaster& zip, const QString& preparedArchive,
                               const FileState& packedState)
{
    const auto removePrepared = qScopeGuard([&preparedArchive] { QFile::remove(preparedArchive); });
    const QString archive = ZipFolder() + QLatin1Char('/') + ZipArchiveName();
    if (std::rename(QFile::encodeName(preparedArchive).constData(),
                    QFile::encodeName(archive).constData()) != 0) {
        throw KestrelError(QStringLiteral("Could not create back up zip file %1: %2")
                               .arg(archive, QString::fromLocal8Bit(std::strerror(errno))));
    }
    zip.SetZipFileName(archive);
    zip.ReadDirectory();
    if (zip.ArchiveSize() <= 0)
        throw KestrelError(QStringLiteral("Could not create back up zip file %1").arg(archive));
    m_packedState = packedState;
}

QString TTernFileObject::MakeRelativeName()
{
    const TQuayRegistryObject store;
    m_id = store.ReadFileIDNumber() + 1;
    store.WriteFileIDNumber(m_id);
    QString name = m_fileName.startsWith(QLatin1Char('/')) ? m_fileName.mid(1) : m_fileName;
    // Numbered in the file's own name, as the drive copies are: numbering the first
    // dot of the path would put each file of a dotted folder into a folder of its own.
    if (!store.ReadOverWriteFiles())
        insertCopyNumber(name, m_id);
    m_relativeName = name;
    return name;
}

QString TTernFileObject::shortenedStagingPath(const QString& stagingFolder,
                                              const QString& relativeName, const QString& uniqueTag)
{
    QString folder = stagingFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString direct = folder + relativeName;
    if (direct.size() <= MaxStagedPathLength)
        return direct;
    const QString head = folder.chopped(1) + ShortenedPathsFolder;
    QString rest = QLatin1Char('/') + relativeName;
    while (head.size() + rest.size() > MaxStagedPathLength) {
        const qsizetype nextLevel = rest.indexOf(QLatin1Char('/'), 1);
        if (nextLevel < 0)
            break;
        rest = rest.mid(nextLevel);
    }
    if (head.size() + rest.size() <= MaxStagedPathLength)
        return head + rest;
    const QString shortName =
        shortenFileName(rest.mid(1), uniqueTag, MaxStagedPathLength - head.size() - 1);
    if (shortName.isEmpty())
        throw KestrelError(
            QStringLiteral("The staging folder path is too long to hold any file: %1")
                .arg(stagingFolder));
    return head + QLatin1Char('/') + shortName;
}

bool TTernFileObject::StageCopy(const QString& stagingFolder)
{
    const QString relative = MakeRelativeName();
    m_destinationPath =
        shortenedStagingPath(stagingFolder, relative, QStringLiteral("~%1").arg(m_id));
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
    QString folder = mountPoint;
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    QString relative = m_relativeName;
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return QFileInfo(folder + QLatin1Char('/') + relative).isFile();
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

QString TTernFileObject::namePartOf(const QString& path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.indexOf(QLatin1Char('.'), afterLeadingDots(name));
    return dot < 0 ? name : name.left(dot);
}

QString TTernFileObject::extensionTagOf(const QString& path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < afterLeadingDots(name))
        return QString();
    return QLatin1Char('-') + name.mid(dot + 1);
}
