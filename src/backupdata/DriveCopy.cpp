#include "backupdata/DriveCopy.h"

#include "backupdata/FileNameParts.h"
#include "core/FileSystemTree.h"
#include "core/KestrelError.h"

#include <QDir>
#include <QFileInfo>

namespace DriveCopy {

QString destinationOf(const QString& fileName, const QString& backUpFolder,
                      std::optional<int> number)
{
    // The source's tree is mirrored below the backup folder, without its root.
    const QString relative = fileName.mid(fileName.indexOf(QLatin1Char('/')) + 1);
    QString destination = backUpFolder;
    if (!destination.endsWith(QLatin1Char('/')))
        destination += QLatin1Char('/');
    destination += relative;
    if (number)
        FileNameParts::insertCopyNumber(destination, *number);
    return destination;
}

bool copy(const QString& fileName, const QString& destination, QString& reason)
{
    const QString folder = QFileInfo(destination).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw KestrelError(QStringLiteral("Cannot create back up folder."));
    try {
        FileSystemTree::copyFile(fileName, destination, true);
    } catch (const KestrelError& error) {
        reason = error.message();
        return false;
    }
    reason.clear();
    return true;
}

} // namespace DriveCopy
