#include "backupdata/SelectionListChanges.h"

#include "core/QuayRegistryObject.h"

#include <QFile>

std::optional<QStringList> takeChangedSelectionList(SelectionListKind kind)
{
    const TQuayRegistryObject store;
    const bool files = kind == SelectionListKind::Files;
    const bool changed = files ? store.ReadFileListHasChanged() : store.ReadFolderListHasChanged();
    if (!changed)
        return std::nullopt;
    const QString path = files ? store.ReadFileOfFiles() : store.ReadFileOfDirectories();
    if (!QFile::exists(path))
        return std::nullopt;
    QStringList entries = readSelectionList(path);
    if (files)
        store.WriteFileListHasChanged(false);
    else
        store.WriteFolderListHasChanged(false);
    return entries;
}
