#include "transport/ZipMaster.h"

#include "core/KestrelError.h"
#include "transport/BackUpArchiveWriter.h"
#include "transport/CompressionProbe.h"
#include "transport/ZipMessages.h"

#include <QCoreApplication>
#include <QDir>

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const SuffixNames[] = {"gif", "png", "z",   "zip", "zoo", "arc", "lzh",  "arj", "taz",
                                   "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar", "exe"};

constexpr qint64 EndOfDirectorySize = 22;
constexpr qint64 EndOfDirectorySearch = 65557;
const QByteArray EndOfDirectorySignature("PK\x05\x06", 4);

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
    // Private from the start: the archive may hold the user's file unencrypted.
    const int fd = ::open(QFile::encodeName(partialPath).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Where this file cannot be made, no archive can be written either.
        const int systemError = errno;
        ReportZipMessage(11002, detail(fileFailureCause(systemError, false, QString(), folder)));
        return 0;
    }
    const auto discard = [&] {
        ::close(fd);
        QFile::remove(partialPath);
    };
    const auto fail = [&](int number, const QString& text) {
        ReportZipMessage(number, detail(text));
        discard();
        return 0;
    };

    BackUpArchiveWriter writer(fd);
    if (m_addOptions.testFlag(AddEncrypt))
        writer.setPassword(m_password.toUtf8());
    if (m_zip64Threshold > 0)
        writer.setZip64Threshold(m_zip64Threshold);
    qint64 totalSize = 0;
    for (const QString& path : std::as_const(m_fileSpecs))
        totalSize += QFileInfo(path).size();
    qint64 packedBefore = 0;
    qint64 reportedAt = -1;
    const auto progress = [&](qint64 inputDone) {
        if (!m_progressHandler || totalSize <= 0)
            return;
        const qint64 percent = (packedBefore + inputDone) * 100 / totalSize;
        if (percent > reportedAt) {
            reportedAt = percent;
            m_progressHandler(qMin(1.0, double(packedBefore + inputDone) / double(totalSize)));
        }
    };

    int added = 0;
    try {
        for (const QString& path : std::as_const(m_fileSpecs)) {
            const QFileInfo source(path);
            if (!source.isFile())
                return fail(11001, path);
            const int readable = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            struct stat status = {};
            if (readable < 0 || ::fstat(readable, &status) != 0) {
                const int systemError = errno;
                if (readable >= 0)
                    ::close(readable);
                return fail(11002, fileFailureCause(systemError, true, path, folder));
            }
            ::close(readable);
            // Opened by name, so that a read failure names the file.
            QFile input(path);
            if (!input.open(QIODevice::ReadOnly))
                return fail(11002, fileFailureCause(EIO, true, path, folder));
            BackUpArchiveWriter::Entry entry;
            entry.name = source.fileName();
            if (m_addOptions.testFlag(AddDirNames))
                entry.name = QDir::cleanPath(source.absoluteFilePath()).mid(1);
            entry.modified = source.lastModified();
            entry.unixMode = status.st_mode;
            entry.level = isStored(path) || !deflateShrinks(input) ? 0 : m_compLevel;
            // Streamed from the file into the archive: never held in memory.
            writer.addEntry(entry, input, qint64(status.st_size), progress);
            packedBefore += qint64(status.st_size);
            ++added;
        }
        writer.finish();
    } catch (const ArchiveWriteError& error) {
        return fail(11002, fileFailureCause(error.systemError, false,
                                            m_fileSpecs.join(QStringLiteral(", ")), folder));
    } catch (const KestrelError& error) {
        return fail(11002, error.message());
    } catch (...) {
        discard();
        throw;
    }
    if (::close(fd) != 0) {
        const int systemError = errno;
        QFile::remove(partialPath);
        ReportZipMessage(11002, detail(fileFailureCause(systemError, false, QString(), folder)));
        return 0;
    }
    if (m_progressHandler)
        m_progressHandler(1.0);
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
