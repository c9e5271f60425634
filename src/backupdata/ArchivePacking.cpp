#include "backupdata/ArchivePacking.h"

#include "backupdata/FileNameParts.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

namespace ArchivePacking {

QString zipFolder()
{
    const QString folder = QDir::cleanPath(TQuayRegistryObject().ReadZipDirectory());
    // One level only, as the zip folder's parent is the program folder or a folder
    // the user chose: a missing parent means the setting is wrong.
    if (!QFileInfo(folder).isDir() && ::mkdir(QFile::encodeName(folder).constData(), 0700) != 0)
        throw KestrelError(QStringLiteral("Could not create the zip folder %1").arg(folder));
    return folder;
}

QString archiveName(const QString& fileName, int id)
{
    QString prefix;
    QString suffix = QStringLiteral(".zip");
    if (isEdition(Edition::KestrelClient))
        prefix = TQuayRegistryObject().ReadUserID() + QLatin1Char('#') + QString::number(id) +
                 QLatin1Char('#');
    else
        suffix.prepend(FileNameParts::extensionTagOf(fileName));
    // A source name near the file-name limit would give an archive name past it and
    // the file could never be packed: the name part gives way, the rest stays.
    QString namePart = FileNameParts::namePartOf(fileName);
    while (!namePart.isEmpty() &&
           QFile::encodeName(prefix + namePart + suffix).size() > MaxFileNameBytes)
        namePart = FileNameParts::leftWhole(namePart, namePart.size() - 1);
    return prefix + namePart + suffix;
}

void setUpPassword(TZipMaster& zip, const QString& password)
{
    if (password.isEmpty()) {
        zip.SetAddOptions({});
        zip.SetPassword(QString());
    } else {
        zip.SetAddOptions(TZipMaster::AddEncrypt);
        zip.SetPassword(FileNameParts::leftWhole(password, TZipMaster::MaxPasswordLength));
    }
}

void pack(TZipMaster& zip, const QString& fileName, int id, std::optional<FileState>& packedState)
{
    packedState = FileState::of(fileName);
    zip.SetZipFileName(zipFolder() + QLatin1Char('/') + archiveName(fileName, id));
    zip.FSpecArgs() = QStringList{fileName};
    setUpPassword(zip, TQuayRegistryObject().ReadUserZipPassword());
    zip.AddFiles();
    if (zip.SuccessCount() <= 0)
        throw KestrelError(zip.LastErrorMessage().isEmpty()
                               ? QStringLiteral("Could not create back up zip file.")
                               : zip.LastErrorMessage());
}

void adopt(TZipMaster& zip, const QString& preparedArchive, const QString& fileName, int id)
{
    const auto removePrepared = qScopeGuard([&preparedArchive] { QFile::remove(preparedArchive); });
    const QString archive = zipFolder() + QLatin1Char('/') + archiveName(fileName, id);
    if (std::rename(QFile::encodeName(preparedArchive).constData(),
                    QFile::encodeName(archive).constData()) != 0) {
        throw KestrelError(QStringLiteral("Could not create back up zip file %1: %2")
                               .arg(archive, QString::fromLocal8Bit(std::strerror(errno))));
    }
    zip.SetZipFileName(archive);
    zip.ReadDirectory();
    if (zip.ArchiveSize() <= 0)
        throw KestrelError(QStringLiteral("Could not create back up zip file %1").arg(archive));
}

} // namespace ArchivePacking
