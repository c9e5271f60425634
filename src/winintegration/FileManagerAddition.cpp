#include "winintegration/FileManagerAddition.h"

#include "backupdata/SelectionListAppend.h"
#include "backupdata/SelectionListLock.h"
#include "backupdata/SelectionListText.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString countText(int count, const QString& singular, const QString& plural)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? singular : plural);
}

// Appends to one list and sets its flag, both under the list's lock, so the window
// (which takes the lock to merge and rewrite) sees the entries and the flag together.
int appendToList(const QString& listPath, const QStringList& entries, bool files,
                 FileManagerAddition::Result& result)
{
    if (entries.isEmpty())
        return 0;
    try {
        const SelectionListLock lock(listPath);
        const QStringList added = appendSelectionListEntries(listPath, entries);
        result.alreadyListed += int(entries.size() - added.size());
        if (!added.isEmpty()) {
            const TQuayRegistryObject store;
            if (files)
                store.WriteFileListHasChanged(true);
            else
                store.WriteFolderListHasChanged(true);
        }
        return int(added.size());
    } catch (const KestrelError&) {
        result.failedLists.append(listPath);
    }
    return 0;
}

} // namespace

FileManagerAddition::Result FileManagerAddition::add(const QStringList& paths)
{
    Result result;
    QStringList files;
    QStringList folders;
    for (const QString& given : paths) {
        if (!isListableName(given)) {
            result.refused.append(unlistableNameMessage(given));
            continue;
        }
        const QFileInfo info(given);
        // The path as the user sees it: a link stays a link, only "." and ".." go.
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isFile())
            files.append(path);
        else if (info.isDir())
            folders.append(path);
        else if (!info.exists())
            result.refused.append(
                QStringLiteral("\"%1\" does not exist; it was not added.").arg(given));
        else
            result.refused.append(
                QStringLiteral("\"%1\" is neither a file nor a folder; it was not added.")
                    .arg(given));
    }
    QString filesList;
    QString foldersList;
    try {
        const TQuayRegistryObject store;
        if (!files.isEmpty())
            filesList = store.ReadFileOfFiles();
        if (!folders.isEmpty())
            foldersList = store.ReadFileOfDirectories();
    } catch (const KestrelError& error) {
        result.failedLists.append(error.message());
        return result;
    }
    result.filesAdded = appendToList(filesList, files, true, result);
    result.foldersAdded = appendToList(foldersList, folders, false, result);
    return result;
}

QString FileManagerAddition::summaryLine(const Result& result, const QString& editionName)
{
    QStringList parts;
    parts << QStringLiteral("Added %1 and %2 to the %3 backup lists")
                 .arg(countText(result.filesAdded, QStringLiteral("file"), QStringLiteral("files")),
                      countText(result.foldersAdded, QStringLiteral("folder"),
                                QStringLiteral("folders")),
                      editionName);
    if (result.alreadyListed > 0)
        parts << QStringLiteral("%1 already listed").arg(result.alreadyListed);
    if (!result.refused.isEmpty())
        parts << QStringLiteral("%1 refused").arg(result.refused.size());
    if (!result.failedLists.isEmpty())
        parts << QStringLiteral("could not write %1")
                     .arg(result.failedLists.join(QStringLiteral(", ")));
    return parts.join(QStringLiteral("; ")) + QLatin1Char('.');
}
