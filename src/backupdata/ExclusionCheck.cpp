#include "backupdata/ExclusionCheck.h"

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
        const QString prefix = clean.endsWith(u'/') ? clean : clean + u'/';
        if (path.startsWith(prefix) && clean.size() > best.size())
            best = clean;
    }
    return best;
}

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace

ExclusionCheck::Verdict ExclusionCheck::check(const QString& typedPath,
                                              const QStringList& selectedFolders) const
{
    Verdict verdict;
    const QFileInfo info(typedPath);
    const bool isFolder = typedPath.endsWith(u'/') || info.isDir();
    const QString path = QDir::cleanPath(typedPath);
    const QString root = holdingFolder(path, selectedFolders);
    verdict.selectedFolder = root;

    if (!root.isEmpty()) {
        // The folders between the selected one and the path, as the walk meets them.
        const QStringList names =
            path.mid(joined(root, QString()).size()).split(u'/', Qt::SkipEmptyParts);
        QString folder = root;
        for (qsizetype i = 0; i + 1 < names.size(); ++i) {
            folder = joined(folder, names.at(i));
            verdict.reason = filter.folderLeftOut(folder, relativeWalkPath(root, folder));
            if (verdict.leftOut()) {
                verdict.leftOutFolder = folder;
                return verdict;
            }
        }
    }

    const QByteArray relative = root.isEmpty() ? QFile::encodeName(QFileInfo(path).fileName())
                                               : relativeWalkPath(root, path);
    if (isFolder) {
        verdict.reason = filter.folderLeftOut(path, relative);
        return verdict;
    }
    verdict.reason = filter.fileNameLeftOut(relative);
    if (!verdict.leftOut() && info.isFile())
        verdict.reason = filter.fileSizeLeftOut(info.size());
    return verdict;
}

QString ExclusionCheck::describe(const Verdict& verdict)
{
    const QString where =
        verdict.selectedFolder.isEmpty()
            ? QStringLiteral(" (below no selected folder: matched by its name, as a file picked "
                             "on its own)")
            : QString();
    if (!verdict.leftOut())
        return QStringLiteral("Backed up: nothing leaves it out.%1").arg(where);
    if (!verdict.leftOutFolder.isEmpty())
        return QStringLiteral("Left out with the folder %1: %2")
            .arg(verdict.leftOutFolder, verdict.reason);
    return QStringLiteral("Left out: %1%2").arg(verdict.reason, where);
}
