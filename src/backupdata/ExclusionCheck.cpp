#include "backupdata/ExclusionCheck.h"

#include "backupdata/CacheDirTag.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The deepest selected folder that holds path; empty when none does.
QString holdingFolder(const QString& path, const QStringList& selectedFolders)
{
    QString best;
    for (const QString& folder : selectedFolders) {
        const QString clean = QDir::cleanPath(folder);
        const QString prefix = clean.endsWith(QLatin1Char('/')) ? clean : clean + QLatin1Char('/');
        if (path.startsWith(prefix) && clean.size() > best.size())
            best = clean;
    }
    return best;
}

} // namespace

ExclusionCheck::Verdict ExclusionCheck::check(const QString& typedPath,
                                              const QStringList& selectedFolders) const
{
    Verdict verdict;
    const QFileInfo info(typedPath);
    const bool isFolder = typedPath.endsWith(QLatin1Char('/')) || info.isDir();
    const QString path = QDir::cleanPath(typedPath);
    verdict.selectedFolder = holdingFolder(path, selectedFolders);

    QString relative;
    if (verdict.selectedFolder.isEmpty()) {
        relative = QFileInfo(path).fileName();
    } else {
        const qsizetype start = verdict.selectedFolder.endsWith(QLatin1Char('/'))
                                    ? verdict.selectedFolder.size()
                                    : verdict.selectedFolder.size() + 1;
        relative = path.mid(start);
    }

    const ExclusionMatch match = patterns.matchWithAncestors(QFile::encodeName(relative), isFolder);
    verdict.line = match.line;
    verdict.pattern = match.pattern;
    if (match.leftOut) {
        verdict.reason = Reason::Pattern;
        return verdict;
    }

    if (cacheFolders && !verdict.selectedFolder.isEmpty()) {
        // Every folder from the selected one down to the path itself (when a folder).
        QString folder = verdict.selectedFolder;
        const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        const qsizetype folderParts = isFolder ? parts.size() : parts.size() - 1;
        for (qsizetype i = 0; i <= folderParts; ++i) {
            if (i > 0)
                folder = (folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')) +
                         parts.at(i - 1);
            if (CacheDirTag::isTagged(folder)) {
                verdict.reason = Reason::CacheFolder;
                verdict.cacheFolder = folder;
                return verdict;
            }
        }
    }

    if (largerThan > 0 && !isFolder && info.isFile() && info.size() > largerThan)
        verdict.reason = Reason::TooLarge;
    return verdict;
}

QString ExclusionCheck::describe(const Verdict& verdict) const
{
    const QString where =
        verdict.selectedFolder.isEmpty()
            ? QStringLiteral(" (below no selected folder: matched by its name, as a file picked "
                             "on its own)")
            : QString();
    switch (verdict.reason) {
    case Reason::Pattern:
        return QStringLiteral("Left out by line %1 of Exclude.Txt: %2%3")
            .arg(verdict.line)
            .arg(verdict.pattern, where);
    case Reason::CacheFolder:
        return QStringLiteral("Left out: %1 holds a CACHEDIR.TAG, so it is a cache.")
            .arg(verdict.cacheFolder);
    case Reason::TooLarge:
        return QStringLiteral("Left out: larger than %1 MB.").arg(largerThan / (1024 * 1024));
    case Reason::None:
        break;
    }
    if (verdict.line > 0)
        return QStringLiteral("Backed up: line %1 of Exclude.Txt takes it back: %2%3")
            .arg(verdict.line)
            .arg(verdict.pattern, where);
    return QStringLiteral("Backed up: nothing leaves it out.%1").arg(where);
}
