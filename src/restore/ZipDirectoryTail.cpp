#include "restore/ZipDirectoryTail.h"

#include "restore/ZipFields.h"

#include <QtEndian>

namespace {

using ZipFields::dosTime;
using ZipFields::read16;
using ZipFields::read32;
using ZipFields::read64;

constexpr qsizetype EndRecordSize = 22;
constexpr qsizetype Zip64EndRecordSize = 56;
constexpr qsizetype Zip64LocatorSize = 20;
constexpr qsizetype CentralHeaderSize = 46;
constexpr quint32 Unknown32 = 0xFFFFFFFFu;

} // namespace

std::optional<ZipDirectoryTail> ZipDirectoryTail::read(const QByteArray& tail)
{
    // The last end record whose comment reaches exactly to the end of the bytes.
    qsizetype end = -1;
    for (qsizetype at = tail.lastIndexOf(QByteArray("PK\x05\x06", 4)); at >= 0;
         at = at > 0 ? tail.lastIndexOf(QByteArray("PK\x05\x06", 4), at - 1) : -1) {
        if (at + EndRecordSize <= tail.size() &&
            at + EndRecordSize + read16(tail, at + 20) == tail.size()) {
            end = at;
            break;
        }
    }
    if (end < 0 || read16(tail, end + 10) != 1)
        return std::nullopt;
    quint64 directorySize = read32(tail, end + 12);
    qsizetype directoryEnd = end;
    // A zip64 archive puts its own end record and locator before the classic one.
    const qsizetype locator = end - Zip64LocatorSize;
    if (locator >= Zip64EndRecordSize && read32(tail, locator) == 0x07064b50u) {
        const qsizetype record = locator - Zip64EndRecordSize;
        if (read32(tail, record) != 0x06064b50u)
            return std::nullopt;
        directorySize = read64(tail, record + 40);
        directoryEnd = record;
    }
    if (directorySize < CentralHeaderSize || directorySize > quint64(directoryEnd))
        return std::nullopt;
    const qsizetype header = directoryEnd - static_cast<qsizetype>(directorySize);
    if (read32(tail, header) != 0x02014b50u)
        return std::nullopt;
    const qsizetype nameLength = read16(tail, header + 28);
    const qsizetype extraLength = read16(tail, header + 30);
    const qsizetype extraStart = header + CentralHeaderSize + nameLength;
    if (extraStart + extraLength > directoryEnd)
        return std::nullopt;

    ZipDirectoryTail result;
    quint32 size32 = read32(tail, header + 24);
    result.size = size32;
    result.modified = dosTime(read16(tail, header + 12), read16(tail, header + 14));
    for (qsizetype at = extraStart; at + 4 <= extraStart + extraLength;) {
        const quint16 id = read16(tail, at);
        const qsizetype length = read16(tail, at + 2);
        const qsizetype data = at + 4;
        if (data + length > extraStart + extraLength)
            break;
        if (id == 0x0001 && size32 == Unknown32 && length >= 8)
            result.size = static_cast<qint64>(read64(tail, data));
        if (id == 0x5455 && length >= 5 && (tail.at(data) & 1)) {
            result.modified =
                QDateTime::fromSecsSinceEpoch(static_cast<qint32>(read32(tail, data + 1)));
            result.exactTime = true;
        }
        at = data + length;
    }
    if (result.size < 0)
        return std::nullopt;
    return result;
}
