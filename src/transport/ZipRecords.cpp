#include "transport/ZipRecords.h"

namespace ZipRecords {

namespace {

constexpr quint16 Zip64FieldId = 0x0001;
// Unix, zip format 6.3.
constexpr quint16 VersionMadeBy = (3 << 8) | 63;
constexpr quint16 FlagUtf8Name = 1 << 11;

void put16(QByteArray& out, quint64 value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

void put32(QByteArray& out, quint64 value)
{
    put16(out, value & 0xFFFF);
    put16(out, (value >> 16) & 0xFFFF);
}

void put64(QByteArray& out, quint64 value)
{
    put32(out, value & 0xFFFFFFFF);
    put32(out, value >> 32);
}

quint32 capped(quint64 value, quint64 threshold)
{
    return value >= threshold ? quint32(Zip64Limit) : quint32(value);
}

quint16 flagsOf(const Entry& entry)
{
    return entry.flags | (entry.utf8Name ? FlagUtf8Name : 0);
}

} // namespace

void setDosTime(Entry& entry, const QDateTime& modified)
{
    const QDateTime local = modified.toLocalTime();
    const QDate date = local.date();
    if (!local.isValid() || date.year() < 1980) {
        entry.dosDate = (1 << 5) | 1;
        entry.dosTime = 0;
        return;
    }
    const QTime time = local.time();
    entry.dosDate =
        quint16(((qMin(date.year(), 2107) - 1980) << 9) | (date.month() << 5) | date.day());
    entry.dosTime = quint16((time.hour() << 11) | (time.minute() << 5) | (time.second() / 2));
}

QByteArray localHeader(const Entry& entry, bool zip64, quint64 threshold)
{
    QByteArray extra;
    if (zip64) {
        put16(extra, Zip64FieldId);
        put16(extra, 16);
        put64(extra, entry.size);
        put64(extra, entry.compressedSize);
    }
    extra += entry.extra;
    QByteArray out;
    put32(out, 0x04034b50);
    put16(out, zip64 ? qMax(entry.versionNeeded, VersionZip64) : entry.versionNeeded);
    put16(out, flagsOf(entry));
    put16(out, entry.method);
    put16(out, entry.dosTime);
    put16(out, entry.dosDate);
    put32(out, entry.crc32);
    put32(out, zip64 ? Zip64Limit : capped(entry.compressedSize, threshold));
    put32(out, zip64 ? Zip64Limit : capped(entry.size, threshold));
    put16(out, entry.name.size());
    put16(out, extra.size());
    return out + entry.name + extra;
}

QByteArray centralHeader(const Entry& entry, quint64 threshold)
{
    // Only the fields that overflow are in the zip64 field, in this order.
    QByteArray wide;
    if (entry.size >= threshold)
        put64(wide, entry.size);
    if (entry.compressedSize >= threshold)
        put64(wide, entry.compressedSize);
    if (entry.offset >= threshold)
        put64(wide, entry.offset);
    QByteArray extra;
    if (!wide.isEmpty()) {
        put16(extra, Zip64FieldId);
        put16(extra, wide.size());
        extra += wide;
    }
    extra += entry.extra;
    QByteArray out;
    put32(out, 0x02014b50);
    put16(out, VersionMadeBy);
    put16(out, wide.isEmpty() ? entry.versionNeeded : qMax(entry.versionNeeded, VersionZip64));
    put16(out, flagsOf(entry));
    put16(out, entry.method);
    put16(out, entry.dosTime);
    put16(out, entry.dosDate);
    put32(out, entry.crc32);
    put32(out, capped(entry.compressedSize, threshold));
    put32(out, capped(entry.size, threshold));
    put16(out, entry.name.size());
    put16(out, extra.size());
    put16(out, 0); // comment
    put16(out, 0); // disk
    put16(out, 0); // internal attributes
    put32(out, entry.externalAttributes);
    put32(out, capped(entry.offset, threshold));
    return out + entry.name + extra;
}

QByteArray endOfDirectory(quint64 entries, quint64 directoryOffset, quint64 directorySize,
                          quint64 threshold)
{
    const bool zip64 =
        entries >= 0xFFFF || directoryOffset >= threshold || directorySize >= threshold;
    QByteArray out;
    if (zip64) {
        const quint64 recordOffset = directoryOffset + directorySize;
        put32(out, 0x06064b50);
        put64(out, 44);
        put16(out, VersionMadeBy);
        put16(out, VersionZip64);
        put32(out, 0);
        put32(out, 0);
        put64(out, entries);
        put64(out, entries);
        put64(out, directorySize);
        put64(out, directoryOffset);
        put32(out, 0x07064b50);
        put32(out, 0);
        put64(out, recordOffset);
        put32(out, 1);
    }
    const quint64 shortEntries = qMin<quint64>(entries, 0xFFFF);
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, shortEntries);
    put16(out, shortEntries);
    put32(out, capped(directorySize, threshold));
    put32(out, capped(directoryOffset, threshold));
    put16(out, 0);
    return out;
}

} // namespace ZipRecords
