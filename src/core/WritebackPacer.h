#pragma once

#include <QtGlobal>

class QFileDevice;

// Starts the disk writing a large file's pages while the file is still being written,
// a few megabytes behind, so that the fsync that makes the finished file durable
// waits for the last stretch only rather than for the whole file. Advice only: a
// system that does not take it loses nothing but the overlap.
class WritebackPacer
{
public:
    explicit WritebackPacer(QFileDevice& file) : m_file(file) {}

    // After each write, with the file's size so far.
    void written(qint64 size);
    // Before writing the file again from its start.
    void restart() { m_started = 0; }

private:
    QFileDevice& m_file;
    qint64 m_started = 0;
};
