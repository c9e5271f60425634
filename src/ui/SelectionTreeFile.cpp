#include "ui/SelectionTreeFile.h"

#include "backupdata/SelectionList.h"
#include "backupdata/SelectionListChanges.h"
#include "backupdata/SelectionListLock.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/Services.h"
#include "ui/PathTree.h"

#include <QFile>
#include <QSaveFile>
#include <QTreeWidget>

namespace {
SelectionListKind listKind(const PathTree& tree)
{
    return tree.kind() == PathTree::Kind::Folders ? SelectionListKind::Folders
                                                  : SelectionListKind::Files;
}

void tellError(const KestrelError& error)
{
    Services::prompt().notify(error.message(), Prompt::Icon::Error);
}
} // namespace

bool SelectionTreeFile::fill(PathTree& tree, const QString& listPath)
{
    if (!QFile::exists(listPath))
        return true;
    try {
        insertEntries(tree, readSelectionList(listPath));
    } catch (const KestrelError& error) {
        tellError(error);
        return false;
    }
    return true;
}

void SelectionTreeFile::insertEntries(PathTree& tree, const QStringList& entries)
{
    for (const QString& entry : entries) {
        if (tree.kind() == PathTree::Kind::Folders)
            tree.InsertFolderPath(entry);
        else
            tree.InsertFilePath(entry);
    }
}

bool SelectionTreeFile::mergeChanges(PathTree& tree)
{
    return mergeChanges(tree, false);
}

bool SelectionTreeFile::mergeChanges(PathTree& tree, bool locked)
{
    try {
        const std::optional<QStringList> entries =
            locked ? takeChangedSelectionListLocked(listKind(tree))
                   : takeChangedSelectionList(listKind(tree));
        if (entries)
            insertEntries(tree, *entries);
    } catch (const KestrelError& error) {
        tellError(error);
        return false;
    }
    return true;
}

bool SelectionTreeFile::save(PathTree& tree, const QString& listPath, WhenEmpty whenEmpty)
{
    // Nothing to write: entries merged now are in the file already.
    if (whenEmpty == WhenEmpty::KeepFile && tree.tree()->topLevelItemCount() == 0)
        return mergeChanges(tree, false);
    // Held from the merge to the rewrite: an append of the file-manager helper waits,
    // and is not lost under the new file.
    std::optional<SelectionListLock> lock;
    try {
        lock.emplace(listPath);
    } catch (const KestrelError& error) {
        tellError(error);
        return false;
    }
    if (!mergeChanges(tree, true))
        return false;
    try {
        if (tree.tree()->topLevelItemCount() == 0) {
            if (whenEmpty == WhenEmpty::EmptyFile && QFile::exists(listPath))
                writeEmptyList(listPath);
            return true;
        }
        const QStringList refused =
            writeSelectionList(listPath, tree.selectionTree(), listKind(tree));
        if (!refused.isEmpty())
            Services::prompt().notify(refused.join(u'\n'), Prompt::Icon::Warning);
    } catch (const KestrelError& error) {
        tellError(error);
        return false;
    }
    return true;
}

void SelectionTreeFile::writeEmptyList(const QString& listPath)
{
    QSaveFile file(listPath);
    if (!file.open(QIODevice::WriteOnly) || !file.commit())
        throw KestrelError(listPath);
}
