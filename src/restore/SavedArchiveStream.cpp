#include "restore/SavedArchiveStream.h"

#include "core/KestrelError.h"
#include "restore/ZipEntryFields.h"
#include "restore/ZipFields.h"
#include "transport/WinZipAes.h"

#include <QtEndian>

#include <zlib.h>

#include <array>
#include <optional>
#include <sys/stat.h>

namespace {

using ZipFields::dosTime;
using ZipFields::read16;
using ZipFields::read32;
using ZipFields::read64;
using namespace ZipEntryFields;

constexpr qsizetype LocalHeaderSize = 30;
constexpr qsizetype CentralHeaderSize = 46;
constexpr qsizetype EndRecordSize = 22;
constexpr qsizetype Zip64EndRecordSize = 56;
constexpr qsizetype Zip64LocatorSize = 20;
// The directory of one entry: its header with name, extra field and comment of at
// most 64 KiB each, the end records and the archive's comment, with room to spare.
constexpr qsizetype MaxDirectorySize = 320 * 1024;
constexpr qsizetype ChunkSize = 65536;
// Sizes from 2^53 up are beyond any file, and below it the zip bomb bound cannot overflow.
constexpr quint64 MaxSize = quint64(1) << 53;

constexpr quint32 LocalSignature = 0x04034b50u;
constexpr quint32 CentralSignature = 0x02014b50u;
constexpr quint32 EndSignature = 0x06054b50u;
constexpr quint32 Zip64EndSignature = 0x06064b50u;
constexpr quint32 Zip64LocatorSignature = 0x07064b50u;

constexpr quint16 FlagEncrypted = 1 << 0;
constexpr quint16 FlagDataDescriptor = 1 << 3;
constexpr quint16 FlagStrongEncryption = 1 << 6;
constexpr quint16 FlagUtf8Name = 1 << 11;
constexpr quint16 MethodStore = 0;
constexpr quint16 MethodDeflate = 8;
constexpr quint16 MethodWinZipAes = 99;
constexpr quint8 SystemUnix = 3;

[[noreturn]] void refuse(const QString& reason)
{
    throw KestrelError(reason);
}

[[noreturn]] void damaged()
{
    refuse(QStringLiteral("the archive is damaged"));
}

} // namespace

class SavedArchiveStream::Decoder
{
public:
    Decoder(const QString& password, Sink sink)
        : m_password(SavedArchive::packedPassword(password).toUtf8()), m_sink(std::move(sink))
    {}

    ~Decoder()
    {
        if (m_inflating)
            inflateEnd(&m_inflate);
    }

    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void feed(const char* data, qsizetype size)
    {
        if (m_stage == Stage::Refused || m_stage == Stage::Finished)
            refuse(QStringLiteral("the archive was already refused or read to its end"));
        try {
            while (size > 0)
                step(data, size);
        } catch (...) {
            m_stage = Stage::Refused;
            throw;
        }
    }

    SavedArchive::Extracted finish()
    {
        if (m_stage == Stage::Refused || m_stage == Stage::Finished)
            refuse(QStringLiteral("the archive was already refused or read to its end"));
        try {
            if (m_stage != Stage::Directory)
                refuse(QStringLiteral("the archive ends before its entry does: it is cut short"));
            readDirectory();
        } catch (...) {
            m_stage = Stage::Refused;
            throw;
        }
        m_stage = Stage::Finished;
        return m_wrongPassword ? SavedArchive::Extracted::WrongPassword
                               : SavedArchive::Extracted::Done;
    }

    bool hasEntry() const { return m_hasEntry; }
    bool needsWholeArchive() const { return m_needsWholeArchive; }
    const SavedArchive::Entry& entry() const { return m_entry; }
    qint64 written() const { return m_written; }

private:
    enum class Stage
    {
        LocalHeader,
        AesHeader,
        Data,
        Code,
        Directory,
        Finished,
        Refused
    };

    [[noreturn]] void refuseForm(const QString& reason)
    {
        m_needsWholeArchive = true;
        refuse(reason);
    }

    // Moves bytes into m_pending until it holds wanted; whether it does.
    bool collect(const char*& data, qsizetype& size, qsizetype wanted)
    {
        const qsizetype take = qMin(size, wanted - m_pending.size());
        m_pending.append(data, take);
        data += take;
        size -= take;
        return m_pending.size() == wanted;
    }

    void step(const char*& data, qsizetype& size)
    {
        switch (m_stage) {
        case Stage::LocalHeader:
            if (m_pending.size() < LocalHeaderSize) {
                if (!collect(data, size, LocalHeaderSize))
                    return;
                if (read32(m_pending, 0) != LocalSignature)
                    refuse(read32(m_pending, 0) == EndSignature
                               ? QStringLiteral("the archive holds 0 entries, not one")
                               : QStringLiteral("the archive is not a zip archive"));
            }
            // The name and extra field follow the fixed part.
            if (collect(data, size,
                        LocalHeaderSize + read16(m_pending, 26) + read16(m_pending, 28)))
                readLocalHeader();
            return;
        case Stage::AesHeader:
            if (collect(data, size, WinZipAes::SaltSize + WinZipAes::VerifierSize))
                startDecrypting();
            return;
        case Stage::Data: {
            const qsizetype take = qsizetype(qMin<quint64>(quint64(size), m_dataLeft));
            consume(data, take);
            data += take;
            size -= take;
            m_dataLeft -= quint64(take);
            if (m_dataLeft == 0)
                endOfData();
            return;
        }
        case Stage::Code:
            if (collect(data, size, WinZipAes::CodeSize))
                checkCode();
            return;
        case Stage::Directory:
            m_pending.append(data, size);
            data += size;
            size = 0;
            // A second entry is told at once rather than collected as a directory.
            if (m_pending.size() >= 4 && read32(m_pending, 0) == LocalSignature)
                refuse(QStringLiteral("the archive holds more than one entry, not one"));
            if (m_pending.size() > MaxDirectorySize)
                refuse(QStringLiteral("the archive's directory is too large for one entry"));
            return;
        case Stage::Finished:
        case Stage::Refused:
            break;
        }
        damaged();
    }

    void readLocalHeader()
    {
        const QByteArray& header = m_pending;
        m_flags = read16(header, 6);
        m_zipMethod = read16(header, 8);
        m_crc = read32(header, 14);
        m_compressedSize = read32(header, 18);
        m_size = read32(header, 22);
        const qsizetype nameLength = read16(header, 26);
        m_rawName = header.mid(LocalHeaderSize, nameLength);
        const QByteArray extra = header.mid(LocalHeaderSize + nameLength);
        m_localSize = header.size();
        if (!widen(extra, {&m_size, &m_compressedSize}))
            damaged();

        m_entry.name = entryName(m_rawName, m_flags & FlagUtf8Name);
        if (!isPlainName(m_entry.name))
            refuse(QStringLiteral("the archive's entry is not a plain file name"));
        if (m_flags & FlagDataDescriptor)
            refuseForm(QStringLiteral("the archive's entry records its sizes after its data, which "
                                      "this reader does not take"));
        m_entry.encrypted = m_flags & FlagEncrypted;
        m_method = m_zipMethod;
        if (m_zipMethod == MethodWinZipAes) {
            const std::optional<QByteArray> aes = extraField(extra, 0x9901);
            if (!m_entry.encrypted || !aes || aes->size() < 7 ||
                aes->mid(2, 2) != QByteArrayView("AE"))
                damaged();
            m_aesVersion = read16(*aes, 0);
            // Only 256-bit keys, which the program packs with.
            if (aes->at(4) != 3 || (m_aesVersion != 1 && m_aesVersion != 2))
                refuseForm(QStringLiteral("the archive's encryption is not supported"));
            m_method = read16(*aes, 5);
            m_entry.aesEncrypted = true;
        }
        if ((m_flags & FlagStrongEncryption) ||
            (m_method != MethodStore && m_method != MethodDeflate))
            refuseForm(QStringLiteral("the archive's compression method is not supported"));
        if (m_size >= MaxSize || m_compressedSize >= MaxSize)
            damaged();
        m_entry.size = qint64(m_size);
        if (m_size > m_compressedSize * quint64(SavedArchive::MaxExpansion) +
                         quint64(SavedArchive::ExpansionSlack))
            refuse(QStringLiteral("the archive's entry claims %1 bytes from %2 compressed bytes "
                                  "(refused as a zip bomb)")
                       .arg(m_size)
                       .arg(m_compressedSize));
        if (const auto exact = extendedTime(extra)) {
            m_entry.modified = *exact;
            m_entry.exactTime = true;
        } else
            m_entry.modified = dosTime(read16(header, 10), read16(header, 12));
        m_pending.clear();
        m_hasEntry = true;

        m_dataLeft = m_compressedSize;
        if (m_entry.encrypted && m_password.isEmpty())
            return skipEntry();
        if (!m_password.isEmpty() && !m_entry.aesEncrypted)
            refuse(SavedArchive::notProtectedMessage());
        if (m_entry.aesEncrypted) {
            if (m_compressedSize < quint64(WinZipAes::Overhead))
                damaged();
            m_dataLeft -= WinZipAes::Overhead;
            m_stage = Stage::AesHeader;
            return;
        }
        startData();
    }

    // A wrong password: the entry's bytes pass unread, the directory is still checked.
    void skipEntry()
    {
        m_wrongPassword = true;
        m_skipping = true;
        m_dataLeft = m_compressedSize;
        startData();
    }

    void startDecrypting()
    {
        m_decryptor =
            std::make_unique<WinZipAes::Decryptor>(m_password, m_pending.left(WinZipAes::SaltSize));
        const bool matches = m_decryptor->verifierMatches(m_pending.mid(WinZipAes::SaltSize));
        m_pending.clear();
        if (!matches) {
            m_decryptor.reset();
            m_dataLeft = m_compressedSize - WinZipAes::SaltSize - WinZipAes::VerifierSize;
            m_wrongPassword = true;
            m_skipping = true;
        }
        startData();
    }

    void startData()
    {
        if (!m_skipping && m_method == MethodDeflate) {
            m_inflate = {};
            if (inflateInit2(&m_inflate, -MAX_WBITS) != Z_OK)
                refuse(QStringLiteral("the archive cannot be inflated: out of memory"));
            m_inflating = true;
        }
        m_stage = Stage::Data;
        if (m_dataLeft == 0)
            endOfData();
    }

    void consume(const char* data, qsizetype size)
    {
        if (m_skipping)
            return;
        while (size > 0) {
            const qsizetype piece = qMin(size, ChunkSize);
            const char* plain = data;
            if (m_decryptor) {
                m_plain.resize(piece);
                m_decryptor->decrypt(data, m_plain.data(), piece);
                plain = m_plain.constData();
            }
            if (m_fault.isEmpty()) {
                if (m_method == MethodStore)
                    emitBytes(plain, piece);
                else
                    inflateBytes(plain, piece);
            }
            data += piece;
            size -= piece;
        }
    }

    void inflateBytes(const char* data, qsizetype size)
    {
        if (m_inflateEnded)
            return fault(QStringLiteral("the archive is damaged"));
        m_inflate.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        m_inflate.avail_in = uInt(size);
        do {
            m_inflate.next_out = reinterpret_cast<Bytef*>(m_out.data());
            m_inflate.avail_out = uInt(m_out.size());
            const int result = inflate(&m_inflate, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                return fault(QStringLiteral("the archive is damaged"));
            if (!emitBytes(m_out.data(), qsizetype(m_out.size() - m_inflate.avail_out)))
                return;
            if (result == Z_STREAM_END) {
                m_inflateEnded = true;
                if (m_inflate.avail_in > 0)
                    return fault(QStringLiteral("the archive is damaged"));
                return;
            }
            if (result == Z_BUF_ERROR && m_inflate.avail_out > 0)
                return;
        } while (m_inflate.avail_in > 0 || m_inflate.avail_out == 0);
    }

    // Hands bytes to the sink, stopping at the declared size; whether it took them.
    bool emitBytes(const char* data, qsizetype size)
    {
        if (size == 0)
            return true;
        if (m_written + size > m_entry.size) {
            fault(QStringLiteral("the archive's entry is larger than it declares (refused as "
                                 "a zip bomb)"));
            return false;
        }
        m_runningCrc = crc32_z(m_runningCrc, reinterpret_cast<const Bytef*>(data), size_t(size));
        m_sink(data, size);
        m_written += size;
        return true;
    }

    // With AES a fault in the content is told only after the authentication code: a
    // changed archive is reported as changed, not as whichever fault it caused.
    void fault(const QString& reason)
    {
        if (!m_decryptor)
            refuse(reason);
        if (m_fault.isEmpty())
            m_fault = reason;
    }

    void endOfData()
    {
        if (m_decryptor) {
            m_stage = Stage::Code;
            return;
        }
        if (!m_skipping)
            checkContent();
        m_stage = Stage::Directory;
    }

    void checkCode()
    {
        if (!m_decryptor->authenticates(m_pending))
            refuse(QStringLiteral("the archive's authentication code does not match: it was "
                                  "damaged or changed"));
        m_pending.clear();
        if (!m_fault.isEmpty())
            refuse(m_fault);
        checkContent();
        m_stage = Stage::Directory;
    }

    void checkContent()
    {
        if (m_method == MethodDeflate && !m_inflateEnded)
            damaged();
        if (m_written != m_entry.size)
            refuse(QStringLiteral("the archive's entry holds %1 bytes, not the %2 it declares")
                       .arg(m_written)
                       .arg(m_entry.size));
        // AE-2 may leave the CRC out (0) and trusts the authentication code instead.
        const bool crcRecorded = m_aesVersion != 2 || m_crc != 0;
        if (crcRecorded && m_runningCrc != m_crc)
            refuse(QStringLiteral("the CRC check failed: the archive is damaged"));
    }

    void readDirectory()
    {
        const QByteArray& tail = m_pending;
        const auto disagree = [] {
            refuse(QStringLiteral("the archive's directory does not match its entry"));
        };
        if (tail.size() < CentralHeaderSize || read32(tail, 0) != CentralSignature)
            damaged();
        const qsizetype nameLength = read16(tail, 28);
        const qsizetype extraLength = read16(tail, 30);
        const qsizetype headerEnd = CentralHeaderSize + nameLength + extraLength + read16(tail, 32);
        if (headerEnd > tail.size())
            damaged();
        const QByteArray extra = tail.mid(CentralHeaderSize + nameLength, extraLength);
        quint64 compressedSize = read32(tail, 20);
        quint64 size = read32(tail, 24);
        quint64 offset = read32(tail, 42);
        if (!widen(extra, {&size, &compressedSize, &offset}))
            damaged();
        if (tail.mid(CentralHeaderSize, nameLength) != m_rawName ||
            read16(tail, 10) != m_zipMethod || read32(tail, 16) != m_crc || size != m_size ||
            compressedSize != m_compressedSize || offset != 0 ||
            (read16(tail, 8) & FlagEncrypted) != (m_flags & FlagEncrypted))
            disagree();

        const quint32 attributes = read32(tail, 38);
        if (quint8(read16(tail, 4) >> 8) == SystemUnix) {
            const mode_t mode = attributes >> 16;
            if (S_ISLNK(mode))
                refuse(QStringLiteral("the archive's entry is a link"));
            if (S_ISDIR(mode))
                refuse(QStringLiteral("the archive's entry is a folder"));
            if ((mode & S_IFMT) == S_IFREG)
                m_entry.permissions = static_cast<int>(mode & 0777);
        }
        if (const auto exact = extendedTime(extra)) {
            m_entry.modified = *exact;
            m_entry.exactTime = true;
        }

        const quint64 directoryOffset = m_localSize + m_compressedSize;
        qsizetype at = headerEnd;
        std::optional<quint64> wideEntries;
        quint64 wideSize = 0;
        quint64 wideOffset = 0;
        if (at + 4 <= tail.size() && read32(tail, at) == CentralSignature)
            refuse(QStringLiteral("the archive holds more than one entry, not one"));
        if (at + 4 <= tail.size() && read32(tail, at) == Zip64EndSignature) {
            if (at + Zip64EndRecordSize > tail.size())
                damaged();
            const quint64 recordSize = read64(tail, at + 4);
            if (recordSize < Zip64EndRecordSize - 12 || recordSize > quint64(tail.size() - at - 12))
                damaged();
            if (read64(tail, at + 24) != read64(tail, at + 32))
                disagree();
            wideEntries = read64(tail, at + 32);
            wideSize = read64(tail, at + 40);
            wideOffset = read64(tail, at + 48);
            at += 12 + qsizetype(recordSize);
            if (at + Zip64LocatorSize > tail.size() || read32(tail, at) != Zip64LocatorSignature ||
                read64(tail, at + 8) != directoryOffset + quint64(headerEnd))
                damaged();
            at += Zip64LocatorSize;
        }
        if (at + EndRecordSize > tail.size() || read32(tail, at) != EndSignature)
            damaged();
        if (at + EndRecordSize + read16(tail, at + 20) != tail.size())
            refuse(QStringLiteral("the archive has bytes after its end"));
        quint64 entries = read16(tail, at + 10);
        quint64 directorySize = read32(tail, at + 12);
        quint64 directoryAt = read32(tail, at + 16);
        if (wideEntries) {
            if (entries == 0xFFFF)
                entries = *wideEntries;
            if (directorySize == Unknown32)
                directorySize = wideSize;
            if (directoryAt == Unknown32)
                directoryAt = wideOffset;
            if (*wideEntries != entries || wideSize != directorySize || wideOffset != directoryAt)
                disagree();
        }
        if (entries != 1)
            refuse(QStringLiteral("the archive holds %1 entries, not one").arg(entries));
        if (directorySize != quint64(headerEnd) || directoryAt != directoryOffset ||
            read16(tail, at + 8) != 1)
            disagree();
    }

    const QByteArray m_password;
    Sink m_sink;
    Stage m_stage = Stage::LocalHeader;
    // Header, salt, code or directory bytes collected until they are complete.
    QByteArray m_pending;
    SavedArchive::Entry m_entry;
    bool m_hasEntry = false;
    bool m_needsWholeArchive = false;

    QByteArray m_rawName;
    quint16 m_flags = 0;
    // The method the headers record (99 for AES) and the one the data is packed with.
    quint16 m_zipMethod = 0;
    quint16 m_method = 0;
    int m_aesVersion = 0;
    quint32 m_crc = 0;
    quint64 m_compressedSize = 0;
    quint64 m_size = 0;
    quint64 m_localSize = 0;

    quint64 m_dataLeft = 0;
    bool m_wrongPassword = false;
    bool m_skipping = false;
    std::unique_ptr<WinZipAes::Decryptor> m_decryptor;
    QByteArray m_plain;
    z_stream m_inflate{};
    bool m_inflating = false;
    bool m_inflateEnded = false;
    std::array<char, ChunkSize> m_out{};
    QString m_fault;
    quint32 m_runningCrc = 0;
    qint64 m_written = 0;
};

SavedArchiveStream::SavedArchiveStream(const QString& password, Sink sink)
    : m_decoder(std::make_unique<Decoder>(password, std::move(sink)))
{}

SavedArchiveStream::~SavedArchiveStream() = default;

void SavedArchiveStream::feed(const char* data, qsizetype size)
{
    m_decoder->feed(data, size);
}

SavedArchive::Extracted SavedArchiveStream::finish()
{
    return m_decoder->finish();
}

bool SavedArchiveStream::hasEntry() const
{
    return m_decoder->hasEntry();
}

const SavedArchive::Entry& SavedArchiveStream::entry() const
{
    return m_decoder->entry();
}

qint64 SavedArchiveStream::written() const
{
    return m_decoder->written();
}

bool SavedArchiveStream::needsWholeArchive() const
{
    return m_decoder->needsWholeArchive();
}
