#include "transport/BackUpArchiveWriter.h"

#include "core/KestrelError.h"
#include "transport/DeflateStream.h"
#include "transport/WinZipAes.h"

#include <QFileDevice>

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <unistd.h>

namespace {

constexpr qsizetype BufferSize = 1024 * 1024;
constexpr qsizetype ReadSize = 256 * 1024;
constexpr quint16 VersionStored = 10;
constexpr quint16 VersionDeflated = 20;
constexpr quint16 VersionWinZipAes = 51;
constexpr quint16 FlagEncrypted = 1 << 0;

// Copies input to output unchanged, with its CRC.
DeflateResult storeStream(QIODevice& input, const DeflateOutput& output,
                          const std::function<void(qint64 inputDone)>& progress)
{
    DeflateResult result;
    QByteArray chunk(ReadSize, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(chunk.data(), chunk.size());
        if (got < 0)
            throw KestrelError(QStringLiteral("%1 could not be read: %2")
                                   .arg(inputDeviceName(input), input.errorString()));
        if (got == 0)
            return result;
        result.crc32 = quint32(
            crc32(result.crc32, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(got)));
        result.inputSize += got;
        output(chunk.constData(), got);
        if (progress)
            progress(result.inputSize);
    }
}

// Deflate's speed setting in bits 1 and 2 of the flags, as zip tools record it.
quint16 levelFlags(int level)
{
    if (level >= 8)
        return 1 << 1;
    if (level == 2)
        return 1 << 2;
    if (level == 1)
        return (1 << 1) | (1 << 2);
    return 0;
}

void append16(QByteArray& out, quint32 value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

// The AE-2 field: vendor version 2, vendor "AE", strength 3 (256 bits) and the
// method the data is compressed with under the encryption.
QByteArray winZipAesField(quint16 realMethod)
{
    QByteArray field;
    append16(field, 0x9901);
    append16(field, 7);
    append16(field, 2);
    field.append("AE", 2);
    field.append(char(3));
    append16(field, realMethod);
    return field;
}

// The extended timestamp (0x5455): the modification time in whole seconds, since the
// DOS date has two-second steps and starts in 1980. The same five bytes serve both
// headers, as the central one carries the modification time alone.
QByteArray extendedTimestampField(const QDateTime& modified)
{
    if (!modified.isValid())
        return {};
    const qint64 seconds = modified.toSecsSinceEpoch();
    if (seconds < std::numeric_limits<qint32>::min() ||
        seconds > std::numeric_limits<qint32>::max())
        return {};
    const auto value = static_cast<quint32>(static_cast<qint32>(seconds));
    QByteArray field;
    append16(field, 0x5455);
    append16(field, 5);
    field.append(char(1));
    append16(field, value & 0xFFFF);
    append16(field, value >> 16);
    return field;
}

bool isAscii(const QByteArray& bytes)
{
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

BackUpArchiveWriter::BackUpArchiveWriter(int fd) : m_fd(fd), m_buffer(BufferSize, Qt::Uninitialized)
{}

BackUpArchiveWriter::~BackUpArchiveWriter() = default;

void BackUpArchiveWriter::addEntry(const Entry& source, QIODevice& input, qint64 expectedSize,
                                   const std::function<void(qint64 inputDone)>& progress)
{
    using namespace ZipRecords;
    const bool deflated = source.level > 0;
    const bool encrypted = !m_password.isEmpty();
    ZipRecords::Entry entry;
    entry.name = source.name.toUtf8();
    entry.utf8Name = !isAscii(entry.name);
    entry.method = encrypted ? MethodWinZipAes : deflated ? MethodDeflate : MethodStore;
    entry.flags = (encrypted ? FlagEncrypted : 0) | (deflated ? levelFlags(source.level) : 0);
    entry.versionNeeded = encrypted ? VersionWinZipAes : deflated ? VersionDeflated : VersionStored;
    setDosTime(entry, source.modified);
    entry.offset = m_position;
    entry.externalAttributes = source.unixMode << 16;
    if (encrypted)
        entry.extra += winZipAesField(deflated ? MethodDeflate : MethodStore);
    entry.extra += extendedTimestampField(source.modified);

    // Room for deflate's worst case on data that does not shrink, and for the
    // encryption's salt and code.
    const quint64 expected = quint64(qMax<qint64>(expectedSize, 0));
    const bool zip64 = expected + expected / 1000 + 65536 >= m_zip64Threshold;
    // Both headers name the same version, or readers that compare them refuse the
    // archive, even when the sizes stay below the zip64 threshold after all.
    if (zip64)
        entry.versionNeeded = qMax(entry.versionNeeded, VersionZip64);
    write(localHeader(entry, zip64, m_zip64Threshold));
    const quint64 dataStart = m_position;

    std::optional<WinZipAes::Encryptor> encryptor;
    if (encrypted) {
        encryptor.emplace(m_password);
        write(encryptor->header());
    }
    const DeflateOutput output = [&](const char* data, qsizetype size) {
        if (encryptor)
            encryptor->encrypt(data, reserve(size), size);
        else
            write(data, size);
    };
    const DeflateResult result = deflated ? deflateStream(input, source.level, output, progress)
                                          : storeStream(input, output, progress);
    if (encryptor)
        write(encryptor->authenticationCode());

    // AE-2 leaves the CRC to the authentication code, but libzip (which the restore
    // reads with) still checks it on entries of 20 bytes and more, so it is recorded.
    entry.crc32 = result.crc32;
    entry.size = quint64(result.inputSize);
    entry.compressedSize = m_position - dataStart;
    if (!zip64 && (entry.size >= m_zip64Threshold || entry.compressedSize >= m_zip64Threshold))
        throw KestrelError(
            QStringLiteral("%1 changed while it was packed").arg(inputDeviceName(input)));
    rewrite(entry.offset, localHeader(entry, zip64, m_zip64Threshold));
    m_entries.append(entry);
}

qint64 BackUpArchiveWriter::finish()
{
    const quint64 directoryOffset = m_position;
    for (const ZipRecords::Entry& entry : std::as_const(m_entries))
        write(ZipRecords::centralHeader(entry, m_zip64Threshold));
    write(ZipRecords::endOfDirectory(quint64(m_entries.size()), directoryOffset,
                                     m_position - directoryOffset, m_zip64Threshold));
    flush();
    return qint64(m_position);
}

char* BackUpArchiveWriter::reserve(qsizetype size)
{
    if (m_buffered + size > m_buffer.size())
        flush();
    if (size > m_buffer.size())
        m_buffer.resize(size);
    char* room = m_buffer.data() + m_buffered;
    m_buffered += size;
    m_position += quint64(size);
    return room;
}

void BackUpArchiveWriter::write(const char* data, qsizetype size)
{
    if (size > 0)
        std::memcpy(reserve(size), data, size_t(size));
}

void BackUpArchiveWriter::flush()
{
    const char* next = m_buffer.constData();
    qsizetype left = m_buffered;
    while (left > 0) {
        const ssize_t written = ::write(m_fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw ArchiveWriteError{written < 0 ? errno : EIO};
        next += written;
        left -= written;
    }
    m_buffered = 0;
}

void BackUpArchiveWriter::rewrite(quint64 offset, const QByteArray& bytes)
{
    flush();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::pwrite(m_fd, bytes.constData() + done, size_t(bytes.size() - done),
                     off_t(offset + quint64(done)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw ArchiveWriteError{written < 0 ? errno : EIO};
        done += written;
    }
}
