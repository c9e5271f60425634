#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What tells one state of a file from another without reading it: any write to the
// file, or its replacement, changes one of these.
struct FileState
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;
    qint64 changedSeconds = 0;
    qint64 changedNanoseconds = 0;

    bool operator==(const FileState&) const = default;

    // The state of a regular file (links followed); nothing when there is none.
    static std::optional<FileState> of(const QString& path);
};
