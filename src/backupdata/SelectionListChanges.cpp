#include "backupdata/SelectionListChanges.h"

#include "backupdata/SelectionListLock.h"
#include "core/QuayRegistryObject.h"

#include <QFile>

namespace {

bool flagSet(const TQuayRegistryObject& store, SelectionListKind kind)
{
    return kind == SelectionListKind::Files ? store.ReadFileListHasChanged()
                                            : store.ReadFolderListHasChanged();
}

QString listPath(const TQuayRegistryObject& store, SelectionListKind kind)
{
    return kind == SelectionListKind::Files ? store.ReadFileOfFiles()
                                            : store.ReadFileOfDirectories();
}

} // namespace

std::optional<QStringList> takeChangedSelectionListLocked(SelectionListKind kind)
{
    const TQuayRegistryObject store;
    if (!flagSet(store, kind))
        return std::nullopt;
    const QString path = listPath(store, kind);
    if (!QFile::exists(path))
        return std::nullopt;
    QStringList entries = readSelectionList(path);
    if (kind == SelectionListKind::Files)
        store.WriteFileListHasChanged(false);
    else
        store.WriteFolderListHasChanged(false);
    return entries;
}

std::optional<QStringList> takeChangedSelectionList(SelectionListKind kind)
{
    const TQuayRegistryObject store;
    // The usual case, a clear flag, needs no lock.
    if (!flagSet(store, kind))
        return std::nullopt;
    const SelectionListLock lock(listPath(store, kind));
    return takeChangedSelectionListLocked(kind);
}
