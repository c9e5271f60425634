#pragma once

#include "transport/ZipRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QString>

#include <functional>

// A failure of the system while the archive is written (its errno).
struct ArchiveWriteError
{
    int systemError = 0;
};

// Writes a zip archive front to back into an open file: each entry is streamed from
// its source (deflated or stored, and with a password encrypted with WinZip AES-256),
// its local header written again with the final sizes once they are known, and the
// central directory written by finish(). Memory stays a few buffers whatever the
// size of the files.
//
// Throws ArchiveWriteError when the archive cannot be written and KestrelError when
// a source cannot be read.
class BackUpArchiveWriter
{
public:
    struct Entry
    {
        QString name;
        QDateTime modified;
        // st_mode of the source: type and permissions, as other zip tools record them.
        quint32 unixMode = 0100600;
        // 0 stores, 1 to 9 deflate at that level.
        int level = 9;
    };

    // fd: a file open for writing and empty; it stays owned by the caller.
    explicit BackUpArchiveWriter(int fd);
    ~BackUpArchiveWriter();
    BackUpArchiveWriter(const BackUpArchiveWriter&) = delete;
    BackUpArchiveWriter& operator=(const BackUpArchiveWriter&) = delete;

    // The bytes of the password (UTF-8); empty writes entries unencrypted.
    void setPassword(const QByteArray& password) { m_password = password; }
    // Sizes and offsets from this value up are written as zip64. Only tests lower it,
    // to check zip64 archives without writing 4 GiB.
    void setZip64Threshold(quint64 threshold) { m_zip64Threshold = threshold; }

    // Adds input (read from its position to its end) as one entry; expectedSize (the
    // size the file has now) decides whether its local header needs zip64 room.
    // progress hears how many bytes of input have been read.
    void addEntry(const Entry& entry, QIODevice& input, qint64 expectedSize,
                  const std::function<void(qint64 inputDone)>& progress = {});
    // Writes the central directory and its end; returns the size of the archive.
    qint64 finish();

private:
    void write(const char* data, qsizetype size);
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }
    // Room for size more bytes at the end of the buffer.
    char* reserve(qsizetype size);
    void flush();
    void rewrite(quint64 offset, const QByteArray& bytes);

    int m_fd = -1;
    QByteArray m_password;
    quint64 m_zip64Threshold = ZipRecords::Zip64Limit;
    QByteArray m_buffer;
    qsizetype m_buffered = 0;
    // Bytes of the archive written so far, buffered or not.
    quint64 m_position = 0;
    QList<ZipRecords::Entry> m_entries;
};
