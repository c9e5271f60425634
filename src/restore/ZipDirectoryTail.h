#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

// What the end of a one-entry archive tells of its file without the rest of the
// archive: the end-of-directory record and the central header before it give the
// file's size and modification time (the extended timestamp when the entry carries
// one, else the DOS time, which is local time).
struct ZipDirectoryTail
{
    qint64 size = 0;
    QDateTime modified;
    // Whether modified came from the extended timestamp, to the second; else it is the
    // DOS time, in two-second steps and never before 1980.
    bool exactTime = false;

    // None when the bytes hold no complete, readable directory of exactly one entry.
    static std::optional<ZipDirectoryTail> read(const QByteArray& tail);
};
