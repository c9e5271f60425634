// The drive edition's operations of the file object: where a file's copy goes below
// the backup folder, and the copy itself.

#include "backupdata/TernFileObject.h"

#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"

#include <QDir>
#include <QFileInfo>

void TTernFileObject::insertCopyNumber(QString& path, int number)
{
    // Only the file's own name is numbered: a dot in a folder's name (a hidden folder,
    // "ann.smith", a stick named "USB.Stick") must not move the copy elsewhere.
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    qsizetype afterDots = nameStart;
    while (afterDots < path.size() && path.at(afterDots) == QLatin1Char('.'))
        ++afterDots;
    const qsizetype dot = path.indexOf(QLatin1Char('.'), afterDots);
    path.insert(dot < 0 ? path.size() : dot, QStringLiteral(" (%1) ").arg(number));
}

QString TTernFileObject::driveDestinationOf(const QString& fileName, const QString& backUpFolder,
                                            std::optional<int> number)
{
    // The source's tree is mirrored below the backup folder, without its root.
    const QString relative = fileName.mid(fileName.indexOf(QLatin1Char('/')) + 1);
    QString destination = backUpFolder;
    if (!destination.endsWith(QLatin1Char('/')))
        destination += QLatin1Char('/');
    destination += relative;
    if (!number)
        return destination;
    insertCopyNumber(destination, *number);
    return destination;
}

QString TTernFileObject::MakeDriveDestination()
{
    const TQuayRegistryObject store;
    // The counter as this run's file object left it: every copy of one run carries
    // the same number, and the next run a higher one.
    std::optional<int> number;
    if (!store.ReadOverWriteFiles())
        number = store.ReadFileIDNumber();
    m_destinationPath = driveDestinationOf(m_fileName, store.ReadUserBackUpEmailAddress(), number);
    const QDateTime now = Services::clock().now();
    m_backupDate = now.addMSecs(-now.time().msec());
    return m_destinationPath;
}

QString TTernFileObject::CopyToBackupFolder(QString* reason)
{
    const QString destination = MakeDriveDestination();
    const QString folder = QFileInfo(destination).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw KestrelError(QStringLiteral("Cannot create back up folder."));
    // The record gives the state the copy was made from: a file changed while it is
    // copied stays due.
    m_packedState = FileState::of(m_fileName);
    try {
        CopyFile(m_fileName, destination, true);
    } catch (const KestrelError& error) {
        if (reason)
            *reason = error.message();
        return QStringLiteral("Could not copy file: ") + NamePart();
    }
    if (reason)
        reason->clear();
    return QString();
}
