#include "sequence/SequenceDataFile.h"

#include "core/KestrelError.h"
#include "core/PrivateFiles.h"
#include "core/QuayRegistryObject.h"

#include <QDir>
#include <QSaveFile>

QString SequenceDataFile::folder()
{
    return QDir(TQuayRegistryObject().ReadQuayDirectory()).filePath(QStringLiteral("Status Files"));
}

QString SequenceDataFile::fileName(const QString& dateStamp)
{
    return QStringLiteral("Sequence Data - ") + dateStamp + QStringLiteral(".txt");
}

QString SequenceDataFile::write(const QStringList& lines, const QString& dateStamp)
{
    const QString statusFolder = folder();
    if (!PrivateFiles::makePrivateFolder(statusFolder))
        throw KestrelError(QStringLiteral("Could not create the folder %1").arg(statusFolder));
    const QString name = fileName(dateStamp);
    const QString path = QDir(statusFolder).filePath(name);
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !PrivateFiles::makePrivate(file) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw KestrelError(QStringLiteral("Could not write the sequence data file %1: %2")
                               .arg(path, file.errorString()));
    return name;
}
