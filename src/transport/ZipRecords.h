#pragma once

#include <QByteArray>
#include <QDateTime>

// The fixed-layout records of a zip file (little-endian throughout): the local and
// central headers of an entry and the end of the central directory, with zip64
// fields for sizes and offsets from the threshold up.
namespace ZipRecords {

constexpr quint16 MethodStore = 0;
constexpr quint16 MethodDeflate = 8;
constexpr quint16 MethodWinZipAes = 99;
constexpr quint64 Zip64Limit = 0xFFFFFFFF;
constexpr quint16 VersionZip64 = 45;

struct Entry
{
    QByteArray name;
    bool utf8Name = false;
    quint16 method = MethodStore;
    quint16 flags = 0;
    quint16 versionNeeded = 20;
    quint16 dosTime = 0;
    quint16 dosDate = 0;
    quint32 crc32 = 0;
    quint64 compressedSize = 0;
    quint64 size = 0;
    quint64 offset = 0;
    // Extra fields other than zip64, the same in both headers.
    QByteArray extra;
    quint32 externalAttributes = 0;
};

// The DOS date and time of a moment in local time (1980-01-01 00:00 for earlier ones).
void setDosTime(Entry& entry, const QDateTime& modified);

// The local header; with zip64 its sizes live in a zip64 field, which is then
// written even when they turn out small, so that the header keeps its length when
// it is written again with the final sizes.
QByteArray localHeader(const Entry& entry, bool zip64, quint64 threshold);
QByteArray centralHeader(const Entry& entry, quint64 threshold);
// The end of the central directory, with the zip64 end record and its locator
// before it when a count, size or offset needs them.
QByteArray endOfDirectory(quint64 entries, quint64 directoryOffset, quint64 directorySize,
                          quint64 threshold);

} // namespace ZipRecords
