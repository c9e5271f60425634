#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtEndian>

// Reading the little-endian fields of zip records, and their DOS time.
namespace ZipFields {

inline quint16 read16(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

inline quint32 read32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

inline quint64 read64(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint64>(bytes.constData() + at);
}

// The DOS date and time of a header, in local time; invalid when they name no moment.
inline QDateTime dosTime(quint16 time, quint16 date)
{
    const QDate day(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F);
    const QTime clock((time >> 11) & 0x1F, (time >> 5) & 0x3F, (time & 0x1F) * 2);
    if (!day.isValid() || !clock.isValid())
        return {};
    return QDateTime(day, clock);
}

} // namespace ZipFields
