#include "backupdata/LocalFileStatus.h"

#include "backupdata/TernBackUpFileObject.h"

#include <QDate>
#include <QDateTime>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace {

// The date of a file that cannot be read, as TTernFileObject::FileDate gives it.
qint64 unreadableFileDateSeconds()
{
    static const qint64 seconds =
        TTernBackUpFileObject::wallClockSeconds(QDateTime(QDate(1960, 1, 1), QTime(0, 0)));
    return seconds;
}

} // namespace

LocalFileStatus LocalFileStatus::of(const QString& path)
{
    return ofEncoded(QFile::encodeName(path));
}

LocalFileStatus LocalFileStatus::ofEncoded(const QByteArray& encodedPath)
{
    return inFolder(AT_FDCWD, encodedPath);
}

LocalFileStatus LocalFileStatus::inFolder(int folderDescriptor, const QByteArray& encodedName)
{
    LocalFileStatus status;
    status.fileDateSeconds = unreadableFileDateSeconds();
    struct stat info;
    // The look-up follows links, as QFileInfo does for both answers.
    if (encodedName.isEmpty() ||
        ::fstatat(folderDescriptor, encodedName.constData(), &info, 0) != 0)
        return status;
    status.isFile = S_ISREG(info.st_mode);
    status.size = qint64(info.st_size);
    // Whole seconds of local time; the sub-second part is dropped, as FileDate does.
    const time_t modified = info.st_mtim.tv_sec;
    struct tm local;
    if (!localtime_r(&modified, &local))
        return status;
    // A leap second (:60, with right/ zones) counts as :59, as a QTime cannot hold it.
    const qint64 day = QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday).toJulianDay();
    status.fileDateSeconds =
        day * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + qMin(local.tm_sec, 59);
    return status;
}
