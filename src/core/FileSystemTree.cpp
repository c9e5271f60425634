#include "core/FileSystemTree.h"

#include "core/KestrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

namespace {

constexpr qint64 CopyChunkSize = 1024 * 1024;

// The file system a path lives on, or -1 when it cannot be read.
dev_t deviceOf(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return static_cast<dev_t>(-1);
    return info.st_dev;
}

// Removes everything below folder. Links are removed, not followed, and a folder
// on another file system (something mounted inside the tree) is left alone, so the
// removal never reaches outside the tree.
void removeTreeBelow(const QString& folder, dev_t treeDevice)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString path = entry.absoluteFilePath();
        if (entry.isDir() && !entry.isSymLink()) {
            if (deviceOf(path) != treeDevice)
                continue;
            removeTreeBelow(path, treeDevice);
            QDir().rmdir(path);
        } else {
            QFile::remove(path);
        }
    }
}

} // namespace

namespace FileSystemTree {

void copyFile(const QString& source, const QString& destination, bool keepModificationTime)
{
    QFile input(source);
    if (!QFileInfo(source).isFile() || !input.open(QIODevice::ReadOnly))
        throw KestrelError(
            QStringLiteral("Could not open %1 for reading: %2").arg(source, input.errorString()));
    struct stat sourceInfo = {};
    const bool haveSourceInfo = ::fstat(input.handle(), &sourceInfo) == 0;
    const QString folder = QFileInfo(destination).absolutePath();
    if (!QDir().mkpath(folder))
        throw KestrelError(QStringLiteral("Could not create the folder %1").arg(folder));
    QSaveFile output(destination);
    if (!output.open(QIODevice::WriteOnly))
        throw KestrelError(
            QStringLiteral("Could not create %1: %2").arg(destination, output.errorString()));
    // Others may read the copy only where they may read the original.
    output.setPermissions(
        QFileDevice::ReadOwner | QFileDevice::WriteOwner |
        (input.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(CopyChunkSize);
        if (chunk.isEmpty() && input.error() == QFileDevice::NoError)
            break;
        if (chunk.isEmpty()) {
            output.cancelWriting();
            throw KestrelError(
                QStringLiteral("Could not read %1: %2").arg(source, input.errorString()));
        }
        if (output.write(chunk) != chunk.size())
            break;
    }
    // The date the source had when the copy began, set on the temporary file once
    // all is written, so the copy has it from the moment it appears under its name.
    if (keepModificationTime && haveSourceInfo && output.flush()) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
        ::futimens(output.handle(), times);
    }
    if (!output.commit())
        throw KestrelError(
            QStringLiteral("Could not write %1: %2").arg(destination, output.errorString()));
}

void removeFolderTree(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink()) {
        QFile::remove(folder);
        return;
    }
    if (!info.isDir())
        return;
    removeTreeBelow(folder, deviceOf(folder));
    QDir().rmdir(folder);
}

} // namespace FileSystemTree
