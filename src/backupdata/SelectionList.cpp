#include "backupdata/SelectionList.h"

#include "backupdata/SelectionListText.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"

#include <QFile>
#include <QSaveFile>

namespace {

void collectEntries(const SelectionTreeNode& node, QStringList& ancestors, SelectionListKind kind,
                    SelectionListEntries& result)
{
    ancestors.append(node.text);
    const bool leaf = node.children.empty();
    const bool selectedFolder =
        kind == SelectionListKind::Folders && node.image == selectedFolderImage;
    if (leaf || selectedFolder) {
        const QString entry = joinSelectionPath(ancestors);
        if (isListableName(entry))
            result.entries.append(entry);
        else
            result.refused.append(unlistableNameMessage(entry));
    }
    for (const SelectionTreeNode& child : node.children)
        collectEntries(child, ancestors, kind, result);
    ancestors.removeLast();
}

} // namespace

QStringList readSelectionList(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw KestrelError(path);
    QStringList entries;
    SelectionListTextReader reader(file);
    QString line;
    try {
        while (reader.readLine(&line))
            entries.append(line);
    } catch (const KestrelError&) {
        throw KestrelError(path);
    }
    return entries;
}

SelectionListEntries selectionListEntries(const SelectionTree& tree, SelectionListKind kind)
{
    SelectionListEntries result;
    QStringList ancestors;
    for (const SelectionTreeNode& root : tree)
        collectEntries(root, ancestors, kind, result);
    return result;
}

QStringList writeSelectionList(const QString& path, const SelectionTree& tree,
                               SelectionListKind kind)
{
    if (tree.empty())
        return {};
    const SelectionListEntries result = selectionListEntries(tree, kind);
    QByteArray content;
    for (const QString& entry : result.entries) {
        content.append(encodeListLine(entry));
        content.append("\r\n");
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !PrivateFiles::makePrivate(file) ||
        file.write(content) != content.size() || !file.commit())
        throw KestrelError(path);
    return result.refused;
}
