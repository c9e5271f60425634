#include "transport/DiskInfo.h"

#include "transport/CDBurner.h"

#include <cmath>

qint64 TDiskInfo::freeBytes(int capacityMb, qint64 used)
{
    // In 64 bits throughout: a capacity above 2047 MB (a DVD set as the medium) must
    // not wrap to a negative figure.
    return static_cast<qint64>(capacityMb) * 1048576 -
           std::llround(static_cast<double>(used) * 1.1);
}

qint64 TDiskInfo::GetDirSize() const
{
    qint64 total = 0;
    const QHash<QString, qint64> files = m_burner.DiscFiles();
    for (auto it = files.constBegin(); it != files.constEnd(); ++it)
        total += it.value();
    return total;
}

qint64 TDiskInfo::GetFreeBytesOnCD(int capacityMb) const
{
    return freeBytes(capacityMb, GetDirSize());
}
