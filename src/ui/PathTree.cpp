#include "ui/PathTree.h"

#include "backupdata/SelectionListText.h"
#include "ui/TreeImages.h"

#include <QAbstractItemModel>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {
int childCount(const QTreeWidget* tree, const QTreeWidgetItem* parent)
{
    return parent ? parent->childCount() : tree->topLevelItemCount();
}

QTreeWidgetItem* childAt(const QTreeWidget* tree, const QTreeWidgetItem* parent, int position)
{
    return parent ? parent->child(position) : tree->topLevelItem(position);
}

SelectionTreeNode copyNode(const QTreeWidgetItem* item)
{
    SelectionTreeNode node;
    node.text = item->text(0);
    node.image = TreeImages::image(item);
    node.children.reserve(static_cast<size_t>(item->childCount()));
    for (int i = 0; i < item->childCount(); ++i)
        node.children.push_back(copyNode(item->child(i)));
    return node;
}
} // namespace

PathTree::PathTree(QTreeWidget* tree, Kind kind) : QObject(tree), m_tree(tree), m_kind(kind)
{
    QAbstractItemModel* model = tree->model();
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &PathTree::dropIndex);
    connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, &PathTree::dropIndex);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &PathTree::dropIndex);
    // Icons and image indexes change without touching the index; only a new text does.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole) ||
                    roles.contains(Qt::EditRole))
                    dropIndex();
            });
}

int PathTree::fileImage(const QString& fileName) const
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0)
        return defaultFileImage;
    const QString extension = fileName.mid(dot);
    for (qsizetype i = 0; i < m_iconKeys.size(); ++i) {
        if (m_iconKeys.at(i).compare(extension, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return defaultFileImage;
}

QTreeWidgetItem* PathTree::InsertFolderPath(const QString& path)
{
    return insertPath(path, selectedFolderImage);
}

QTreeWidgetItem* PathTree::InsertFilePath(const QString& path)
{
    const QStringList components = selectionPathComponents(path);
    if (components.isEmpty())
        return nullptr;
    return insertPath(path, fileImage(components.last()));
}

PathTree::Match PathTree::FindDeepestNode(const QStringList& components) const
{
    Match match;
    for (const QString& component : components) {
        QTreeWidgetItem* next = child(match.node, component);
        if (!next)
            break;
        match.node = next;
        ++match.depth;
    }
    return match;
}

QTreeWidgetItem* PathTree::insertPath(const QString& path, int lastImage)
{
    const QStringList components = selectionPathComponents(path);
    if (components.isEmpty())
        return nullptr;
    Match match = FindDeepestNode(components);
    // Each missing component goes below the deepest node found so far: the first as a
    // root (image 0), the others as path nodes (image 1).
    while (match.depth < components.size()) {
        const int image = match.node ? pathImage : rootImage;
        match.node = addNode(match.node, components.at(match.depth), image);
        ++match.depth;
    }
    setImage(match.node, lastImage);
    return match.node;
}

QTreeWidgetItem* PathTree::addNode(QTreeWidgetItem* parent, const QString& text, int image)
{
    // Text and image are set before the node joins the tree, so no change is signalled.
    auto* node = new QTreeWidgetItem(QStringList{text});
    setImage(node, image);
    const int position =
        m_kind == Kind::Folders ? sortedPosition(parent, text) : childCount(m_tree, parent);
    if (parent)
        parent->insertChild(position, node);
    else
        m_tree->insertTopLevelItem(position, node);
    if (m_indexValid)
        m_index.insert(IndexKey(parent, text), node);
    return node;
}

int PathTree::sortedPosition(const QTreeWidgetItem* parent, const QString& text) const
{
    // Siblings are kept in order, so the new node's place is found by halving. Lists
    // are written in tree order, so when a list is read back each node goes last.
    int low = 0;
    int high = childCount(m_tree, parent);
    if (high == 0 || listTextLess(childAt(m_tree, parent, high - 1)->text(0), text))
        return high;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (listTextLess(childAt(m_tree, parent, middle)->text(0), text))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

QTreeWidgetItem* PathTree::child(const QTreeWidgetItem* parent, const QString& text) const
{
    ensureIndex();
    return m_index.value(IndexKey(parent, text), nullptr);
}

void PathTree::setImage(QTreeWidgetItem* node, int image) const
{
    TreeImages::setImage(
        node, m_kind == Kind::Folders ? TreeImages::List::Folders : TreeImages::List::Files, image);
}

void PathTree::removeFileNode(QTreeWidgetItem* node)
{
    while (node) {
        QTreeWidgetItem* parent = node->parent();
        delete node;
        node = parent && parent->childCount() == 0 ? parent : nullptr;
    }
}

void PathTree::removeFolderNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    if (TreeImages::image(node) == selectedFolderImage && node->childCount() > 0) {
        setImage(node, node->parent() ? pathImage : rootImage);
        return;
    }
    QTreeWidgetItem* parent = node->parent();
    delete node;
    while (parent && parent->childCount() == 0 &&
           TreeImages::image(parent) != selectedFolderImage) {
        QTreeWidgetItem* grandParent = parent->parent();
        delete parent;
        parent = grandParent;
    }
}

QString PathTree::nodePath(const QTreeWidgetItem* node)
{
    QStringList components;
    for (; node; node = node->parent())
        components.prepend(node->text(0));
    return joinSelectionPath(components);
}

SelectionTree PathTree::selectionTree() const
{
    SelectionTree tree;
    tree.reserve(static_cast<size_t>(m_tree->topLevelItemCount()));
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        tree.push_back(copyNode(m_tree->topLevelItem(i)));
    return tree;
}

void PathTree::ensureIndex() const
{
    if (m_indexValid)
        return;
    m_index.clear();
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = m_tree->topLevelItem(i);
        // The first of equal texts is the one a lookup finds, as a scan would.
        if (!m_index.contains(IndexKey(nullptr, root->text(0))))
            m_index.insert(IndexKey(nullptr, root->text(0)), root);
        indexBelow(root);
    }
    m_indexValid = true;
}

void PathTree::indexBelow(QTreeWidgetItem* node) const
{
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* item = node->child(i);
        if (!m_index.contains(IndexKey(node, item->text(0))))
            m_index.insert(IndexKey(node, item->text(0)), item);
        indexBelow(item);
    }
}
