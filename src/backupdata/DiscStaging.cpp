#include "backupdata/DiscStaging.h"

#include "backupdata/FileNameParts.h"
#include "core/KestrelError.h"

#include <QFileInfo>

namespace {

const QString ShortenedPathsFolder = QStringLiteral("/Files With Shortened Paths");

// Makes a file name fit into budget characters, keeping its extension and ending
// its stem in uniqueTag so two shortened names never meet.
QString shortenFileName(const QString& name, const QString& uniqueTag, qsizetype budget)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot >= FileNameParts::afterLeadingDots(name);
    const QString extension = hasExtension ? name.mid(dot) : QString();
    const QString stem = hasExtension ? name.left(dot) : name;
    const qsizetype stemRoom = budget - extension.size() - uniqueTag.size();
    if (stemRoom >= 1)
        return FileNameParts::leftWhole(stem, stemRoom) + uniqueTag + extension;
    const qsizetype nameRoom = budget - uniqueTag.size();
    if (nameRoom >= 1)
        return FileNameParts::leftWhole(name, nameRoom) + uniqueTag;
    return QString();
}

} // namespace

namespace DiscStaging {

QString relativeName(const QString& fileName, int id, bool overWrite)
{
    QString name = fileName.startsWith(QLatin1Char('/')) ? fileName.mid(1) : fileName;
    if (!overWrite)
        FileNameParts::insertCopyNumber(name, id);
    return name;
}

QString shortenedStagingPath(const QString& stagingFolder, const QString& relativeName,
                             const QString& uniqueTag)
{
    QString folder = stagingFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString direct = folder + relativeName;
    if (direct.size() <= MaxStagedPathLength)
        return direct;
    const QString head = folder.chopped(1) + ShortenedPathsFolder;
    QString rest = QLatin1Char('/') + relativeName;
    while (head.size() + rest.size() > MaxStagedPathLength) {
        const qsizetype nextLevel = rest.indexOf(QLatin1Char('/'), 1);
        if (nextLevel < 0)
            break;
        rest = rest.mid(nextLevel);
    }
    if (head.size() + rest.size() <= MaxStagedPathLength)
        return head + rest;
    const QString shortName =
        shortenFileName(rest.mid(1), uniqueTag, MaxStagedPathLength - head.size() - 1);
    if (shortName.isEmpty())
        throw KestrelError(
            QStringLiteral("The staging folder path is too long to hold any file: %1")
                .arg(stagingFolder));
    return head + QLatin1Char('/') + shortName;
}

bool existsOnDrive(const QString& mountPoint, const QString& relativeName)
{
    QString folder = mountPoint;
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    QString relative = relativeName;
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return QFileInfo(folder + QLatin1Char('/') + relative).isFile();
}

} // namespace DiscStaging
