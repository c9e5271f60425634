#include "core/WritebackPacer.h"

#include <QFileDevice>

#include <fcntl.h>

namespace {

constexpr qint64 Stretch = 8 * 1024 * 1024;

} // namespace

void WritebackPacer::written(qint64 size)
{
    if (size - m_started < Stretch)
        return;
    // The Qt buffer first, so that the pages handed to the disk are the file's.
    m_file.flush();
    const int fd = m_file.handle();
    if (fd < 0)
        return;
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(fd, m_started, size - m_started, SYNC_FILE_RANGE_WRITE);
#endif
    m_started = size;
}
