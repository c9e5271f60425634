#include "transport/ZipMaster.h"

#include "transport/ZipMessages.h"

#include <QCoreApplication>
#include <QDir>

#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <new>
#include <unistd.h>

namespace {

const char* const SuffixNames[] = {"gif", "png", "z",   "zip", "zoo", "arc", "lzh",  "arj", "taz",
                                   "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar", "exe"};

constexpr qint64 EndOfDirectorySize = 22;
constexpr qint64 EndOfDirectorySearch = 65557;
const QByteArray EndOfDirectorySignature("PK\x05\x06", 4);
constexpr zip_uint16_t ExtendedTimestampField = 0x5455;

// The cause of libzip's last failure on an archive, in words.
QString archiveFailureCause(zip_t* archive, const QString& source, const QString& folder)
{
    zip_error_t* error = zip_get_error(archive);
    const int systemError =
        zip_error_system_type(error) == ZIP_ET_SYS ? zip_error_code_system(error) : 0;
    return zipFailureCause(zip_error_code_zip(error), systemError, source, folder);
}

// The zip extended timestamp (0x5455): the modification time in whole seconds, since
// the DOS date beside it has two-second steps and starts in 1980. The same five bytes
// serve the local and the central header, as the central one carries the time alone.
bool setExactTime(zip_t* archive, zip_uint64_t entry, const QDateTime& modified)
{
    if (!modified.isValid())
        return true;
    const qint64 seconds = modified.toSecsSinceEpoch();
    if (seconds < std::numeric_limits<qint32>::min() ||
        seconds > std::numeric_limits<qint32>::max())
        return true;
    const auto value = static_cast<quint32>(static_cast<qint32>(seconds));
    const zip_uint8_t field[] = {
        0x01, static_cast<zip_uint8_t>(value), static_cast<zip_uint8_t>(value >> 8),
        static_cast<zip_uint8_t>(value >> 16), static_cast<zip_uint8_t>(value >> 24)};
    return zip_file_extra_field_set(archive, entry, ExtendedTimestampField, ZIP_EXTRA_FIELD_NEW,
                                    field, sizeof field, ZIP_FL_LOCAL | ZIP_FL_CENTRAL) == 0;
}

QString detail(const QString& text)
{
    return QStringLiteral(": ") + text;
}

// Bytes after the end of the zip directory are harmless only as zero padding of a
// 512-byte block.
bool hasGarbageAfterDirectory(const QByteArray& tail, qsizetype directoryAt, qint64 archiveSize)
{
    if (directoryAt + EndOfDirectorySize > tail.size())
        return true;
    const auto commentLength = static_cast<quint8>(tail.at(directoryAt + 20)) |
                               (static_cast<quint8>(tail.at(directoryAt + 21)) << 8);
    const qsizetype end = directoryAt + EndOfDirectorySize + commentLength;
    if (end >= tail.size())
        return false;
    if (archiveSize % 512 != 0)
        return true;
    for (qsizetype i = end; i < tail.size(); ++i) {
        if (tail.at(i) != 0)
            return true;
    }
    return false;
}

} // namespace

TZipMaster::StoreSuffixSet TZipMaster::defaultStoreSuffixes()
{
    StoreSuffixSet all;
    for (int bit = 0; bit < int(std::size(SuffixNames)); ++bit)
        all |= StoreSuffix(1 << bit);
    return all & ~StoreSuffixSet(assEXE);
}

QString TZipMaster::storeSuffixList(StoreSuffixSet suffixes)
{
    QStringList parts;
    for (int bit = 0; bit < int(std::size(SuffixNames)); ++bit) {
        if (suffixes.testFlag(StoreSuffix(1 << bit)))
            parts.append(QLatin1Char('.') + QLatin1String(SuffixNames[bit]));
    }
    return parts.join(QLatin1Char(':'));
}

void TZipMaster::SetAddCompLevel(int level)
{
    m_compLevel = qBound(0, level, 9);
}

void TZipMaster::SetZipFileName(const QString& fileName)
{
    m_zipFileName = fileName;
    ReadDirectory();
}

void TZipMaster::SetDLLDirectory(const QString& folder)
{
    m_dllDirectory = folder;
    while (m_dllDirectory.size() > 1 && m_dllDirectory.endsWith(QLatin1Char('/')))
        m_dllDirectory.chop(1);
}

void TZipMaster::LoadZipEngine()
{
    m_zipEngineLoaded = true;
    if (m_verbose)
        ReportZipMessage(10601);
}

void TZipMaster::LoadUnzipEngine()
{
    m_unzipEngineLoaded = true;
    if (m_verbose)
        ReportZipMessage(10701);
}

void TZipMaster::ReportZipMessage(int number, const QString& extraText)
{
    m_lastErrorCode = number;
    m_lastErrorMessage = zipReportText(number) + extraText;
}

bool TZipMaster::isStored(const QString& path) const
{
    if (m_compLevel == 0)
        return true;
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return false;
    const QString suffix = name.mid(dot).toLower();
    return storeSuffixList(m_storeSuffixes).split(QLatin1Char(':')).contains(suffix);
}

void TZipMaster::AddFiles()
{
    m_successCount = 0;
    if (m_fileSpecs.isEmpty()) {
        ReportZipMessage(10301);
        return;
    }
    if (m_zipFileName.isEmpty()) {
        ReportZipMessage(10102);
        m_fileSpecs.clear();
        return;
    }
    // The engine cannot ask for a password in the middle of a sequence.
    if (m_addOptions.testFlag(AddEncrypt) && m_password.isEmpty()) {
        ReportZipMessage(10302);
        m_fileSpecs.clear();
        return;
    }
    if (m_busy)
        return;
    m_busy = true;
    const bool loadedHere = !m_zipEngineLoaded;
    if (loadedHere)
        LoadZipEngine();
    m_lastErrorCode = 0;
    m_lastErrorMessage.clear();
    try {
        m_successCount = writeArchive();
    } catch (const std::bad_alloc&) {
        ReportZipMessage(10101, detail(QStringLiteral("there is not enough memory")));
    } catch (const std::exception&) {
        ReportZipMessage(10101);
    }
    m_fileSpecs.clear();
    if (loadedHere)
        UnloadZipEngine();
    m_busy = false;
    if (m_successCount > 0)
        ReadDirectory();
}

// Scratch archives of a process that was killed while zipping: remove those whose
// process is gone, so they do not pile up in the zip folder.
static void removeAbandonedPartials(const QString& folder)
{
    const QStringList partials = QDir(folder).entryList({QStringLiteral(".partial-*.zip.part*")},
                                                        QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : partials) {
        bool isNumber = false;
        const qint64 pid = name.section(QLatin1Char('-'), 1, 1)
                               .section(QLatin1Char('.'), 0, 0)
                               .toLongLong(&isNumber);
        if (!isNumber || pid <= 0 || pid == QCoreApplication::applicationPid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            QFile::remove(folder + QLatin1Char('/') + name);
    }
}

QString TZipMaster::scratchArchivePath(const QString& folder, const QString& tag)
{
    return folder + QStringLiteral("/.partial-%1-%2.zip.part")
                        .arg(QCoreApplication::applicationPid())
                        .arg(tag);
}

int TZipMaster::writeArchive()
{
    const QString finalPath = QFileInfo(m_zipFileName).absoluteFilePath();
    // A short hidden name, so an archive name at the file-name limit still fits.
    const QString folder = QFileInfo(finalPath).absolutePath();
    // Numbered, as two threads may pack at once.
    static std::atomic<int> partialNumber{0};
    const QString partialPath =
        scratchArchivePath(folder, QString::number(partialNumber.fetch_add(1) + 1));
    removeAbandonedPartials(folder);
    QFile::remove(partialPath);
    // Created private first: libzip gives its temporary file the mode of the file it
    // replaces, and the archive may hold the user's file unencrypted.
    const int fd = ::open(QFile::encodeName(partialPath).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Where this file cannot be made, no archive can be written either.
        const int systemError = errno;
        ReportZipMessage(11002, detail(fileFailureCause(systemError, false, QString(), folder)));
        return 0;
    }
    ::close(fd);

    int openError = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(partialPath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (archive == nullptr) {
        QFile::remove(partialPath);
        ReportZipMessage(11002, detail(zipFailureCause(openError, 0, QString(), folder)));
        return 0;
    }
    if (m_progressHandler) {
        zip_register_progress_callback_with_state(
            archive, 0.01,
            [](zip_t*, double done, void* master) {
                static_cast<TZipMaster*>(master)->m_progressHandler(done);
            },
            nullptr, this);
    }
    const auto fail = [&](int number, const QString& text) {
        ReportZipMessage(number, detail(text));
        zip_discard(archive);
        QFile::remove(partialPath);
        return 0;
    };

    int added = 0;
    for (const QString& path : std::as_const(m_fileSpecs)) {
        const QFileInfo source(path);
        if (!source.isFile())
            return fail(11001, path);
        const int readable = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (readable < 0) {
            const int systemError = errno;
            return fail(11002, fileFailureCause(systemError, true, path, folder));
        }
        ::close(readable);
        // Streamed from the file while the archive is written: never held in memory.
        zip_source_t* data = zip_source_file(
            archive, QFile::encodeName(source.absoluteFilePath()).constData(), 0, -1);
        if (data == nullptr)
            return fail(11002, archiveFailureCause(archive, path, folder));
        QString entryName = source.fileName();
        if (m_addOptions.testFlag(AddDirNames))
            entryName = QDir::cleanPath(source.absoluteFilePath()).mid(1);
        const zip_int64_t index = zip_file_add(archive, entryName.toUtf8().constData(), data,
                                               ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(data);
            return fail(11002, archiveFailureCause(archive, path, folder));
        }
        const auto entry = static_cast<zip_uint64_t>(index);
        if (!setExactTime(archive, entry, source.lastModified()))
            return fail(11002, archiveFailureCause(archive, path, folder));
        const bool stored = isStored(path);
        if (zip_set_file_compression(archive, entry, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                     stored ? 0 : static_cast<zip_uint32_t>(m_compLevel)) < 0)
            return fail(11002, archiveFailureCause(archive, path, folder));
        if (m_addOptions.testFlag(AddEncrypt) &&
            zip_file_set_encryption(archive, entry, ZIP_EM_AES_256,
                                    m_password.toUtf8().constData()) < 0)
            return fail(11002, archiveFailureCause(archive, path, folder));
        ++added;
    }

    // Packing happens here: the files are read and the archive is written.
    if (zip_close(archive) < 0)
        return fail(11002,
                    archiveFailureCause(archive, m_fileSpecs.join(QStringLiteral(", ")), folder));
    // The archive may hold a private file unencrypted: only its owner may read it.
    QFile::setPermissions(partialPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The archive lives only until it has been mailed; it is not synced to the disk. A
    // power cut can at worst leave a torn archive under the final name, which the next
    // CreateZip replaces before anything reads it.
    if (std::rename(QFile::encodeName(partialPath).constData(),
                    QFile::encodeName(finalPath).constData()) != 0) {
        const int systemError = errno;
        QFile::remove(partialPath);
        ReportZipMessage(11002, detail(fileFailureCause(systemError, false, QString(), folder)));
        return 0;
    }
    return added;
}

void TZipMaster::ReadDirectory()
{
    m_archiveSize = 0;
    if (m_zipFileName.isEmpty() || !QFileInfo(m_zipFileName).isFile())
        return;
    QFile archive(m_zipFileName);
    if (!archive.open(QIODevice::ReadOnly)) {
        ReportZipMessage(11002, detail(m_zipFileName));
        return;
    }
    m_archiveSize = archive.size();
    if (m_archiveSize < EndOfDirectorySize) {
        ReportZipMessage(11011, detail(m_zipFileName));
        return;
    }
    const qint64 tailSize = qMin(m_archiveSize, EndOfDirectorySearch);
    if (!archive.seek(m_archiveSize - tailSize)) {
        ReportZipMessage(11011, detail(m_zipFileName));
        return;
    }
    const QByteArray tail = archive.read(tailSize);
    const qsizetype directoryAt = tail.lastIndexOf(EndOfDirectorySignature);
    if (directoryAt < 0)
        ReportZipMessage(11036, detail(m_zipFileName));
    else if (hasGarbageAfterDirectory(tail, directoryAt, m_archiveSize))
        ReportZipMessage(10204, detail(m_zipFileName));
}
