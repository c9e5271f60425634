#include "backupdata/WalkFilter.h"

#include "backupdata/CacheDirTag.h"
#include "core/QuayRegistryObject.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

WalkFilter::WalkFilter(ExcludePatterns patterns, const QString& patternsFile,
                       bool excludeCacheFolders, qint64 maxFileBytes)
    : m_patterns(std::move(patterns)), m_patternsFileName(QFileInfo(patternsFile).fileName()),
      m_excludeCacheFolders(excludeCacheFolders), m_maxFileBytes(maxFileBytes)
{}

WalkFilter WalkFilter::fromSettings()
{
    const TQuayRegistryObject store;
    const bool cacheFolders = store.ReadExcludeCacheFolders();
    const qint64 maxMegabytes = store.ReadExcludeFilesLargerThanMB();
    const QString patternsFile = store.ReadFileOfExclusions();
    return WalkFilter(ExcludePatterns::read(patternsFile), patternsFile, cacheFolders,
                      std::max<qint64>(0, maxMegabytes) * 1024 * 1024);
}

QString WalkFilter::patternReason(const ExclusionMatch& match) const
{
    return QStringLiteral("%1 line %2: %3")
        .arg(m_patternsFileName)
        .arg(match.line)
        .arg(match.pattern);
}

QString WalkFilter::folderLeftOut(const QString& folderPath, const QByteArray& relativePath) const
{
    if (!m_patterns.isEmpty()) {
        const ExclusionMatch match = m_patterns.match(relativePath, true);
        if (match.leftOut)
            return patternReason(match);
    }
    if (m_excludeCacheFolders && CacheDirTag::isTagged(folderPath))
        return QStringLiteral("cache folder (CACHEDIR.TAG)");
    return QString();
}

QString WalkFilter::fileNameLeftOut(const QByteArray& relativePath) const
{
    if (m_patterns.isEmpty())
        return QString();
    const ExclusionMatch match = m_patterns.match(relativePath, false);
    return match.leftOut ? patternReason(match) : QString();
}

QString WalkFilter::fileSizeLeftOut(qint64 size) const
{
    if (m_maxFileBytes <= 0 || size <= m_maxFileBytes)
        return QString();
    return QStringLiteral("larger than %1 MB").arg(m_maxFileBytes / (1024 * 1024));
}

QByteArray relativeWalkPath(const QString& root, const QString& path)
{
    if (path.size() <= root.size())
        return QFile::encodeName(QFileInfo(path).fileName());
    const qsizetype start = root.endsWith(u'/') ? root.size() : root.size() + 1;
    return QFile::encodeName(path.sliced(start));
}
