#pragma once

#include <QString>

class TCDBurner;

// The space on the disc in the burner.
class TDiskInfo
{
public:
    explicit TDiskInfo(const TCDBurner& burner) : m_burner(burner) {}

    // capacity × 1,048,576 less 1.1 × the bytes already on the disc, rounded; a
    // blank 650 MB disc has 681,574,400 bytes free.
    qint64 GetFreeBytesOnCD(int capacityMb) const;
    // The bytes of the files on the disc.
    qint64 GetDirSize() const;
    // The formula alone, for a disc holding used bytes.
    static qint64 freeBytes(int capacityMb, qint64 used);

private:
    const TCDBurner& m_burner;
};
