#include "backupdata/FileState.h"

#include <QFile>

#include <sys/stat.h>

std::optional<FileState> FileState::of(const QString& path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FileState{quint64(status.st_dev),         quint64(status.st_ino),
                     qint64(status.st_size),         qint64(status.st_mtim.tv_sec),
                     qint64(status.st_mtim.tv_nsec), qint64(status.st_ctim.tv_sec),
                     qint64(status.st_ctim.tv_nsec)};
}
