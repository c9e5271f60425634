#pragma once

#include "backupdata/SelectionTreeNode.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QStringList>

class QTreeWidget;
class QTreeWidgetItem;

// The path nodes of one tree view: the files tree, the folders tree or the log tree.
// A node's text is one path component; the root of an absolute path is "/", so
// "/home/ann/a.txt" is the chain "/", "home", "ann", "a.txt". Components compare
// exactly: `Docs` and `docs` are two folders on Linux and get two nodes.
//
// Images: 0 a root, 1 a folder on the way; in the folders tree 2 a selected folder; in
// the files and log trees a file gets the position of its extension in the icon key
// list (".zip" is 4), or 2 when the extension is not there.
//
// Lookups go through an index from (parent node, text) to node, so inserting is
// independent of how many siblings a node has. The index follows the tree's model:
// any removal, reset or text change (by this class or by anyone else; deleting an item
// signals its removal) drops it, and the next lookup rebuilds it from the tree.
class PathTree : public QObject
{
    Q_OBJECT

public:
    enum class Kind
    {
        Files,  // files and log trees: insertion order kept, file icons
        Folders // folders tree: siblings in listTextLess order
    };

    inline static constexpr int rootImage = 0;
    inline static constexpr int pathImage = 1;
    inline static constexpr int defaultFileImage = 2;

    // Becomes a child of the tree, so it lives exactly as long as the tree does.
    PathTree(QTreeWidget* tree, Kind kind);

    QTreeWidget* tree() const { return m_tree; }
    Kind kind() const { return m_kind; }

    // The icon keys of the file images ("drive", "folder", ..., ".zip", ...).
    void setIconKeyList(const QStringList& keys) { m_iconKeys = keys; }
    // A file's image: the position of its extension (from the last ".", with the dot)
    // in the icon keys, compared without regard to case; 2 when it is not there. A name
    // that only begins with a dot (".profile") has no extension.
    int fileImage(const QString& fileName) const;

    // Inserts a folder path and marks its last node as a selected folder (image 2), also
    // when that node was already there as a path node. Returns the last node, or
    // nullptr for a path without components.
    QTreeWidgetItem* InsertFolderPath(const QString& path);
    // Inserts a file path; the last node gets its file image. New nodes go after their
    // siblings. Returns the last node, or nullptr for a path without components.
    QTreeWidgetItem* InsertFilePath(const QString& path);

    struct Match
    {
        QTreeWidgetItem* node = nullptr; // the deepest node that exists
        int depth = 0;                   // how many leading components it matches
    };
    // The deepest existing node along the components of a path.
    Match FindDeepestNode(const QStringList& components) const;

    // Deletes a file node with everything below it, then each parent that has no
    // children left, up to the root.
    void removeFileNode(QTreeWidgetItem* node);
    // Folders tree: a selected folder that has children becomes a path node again (its
    // selected sub-folders stay). Any other node is deleted with everything below it,
    // then each parent that has no children left and is not a selected folder.
    void removeFolderNode(QTreeWidgetItem* node);

    // The path of a node: its texts from the root down, joined with "/".
    static QString nodePath(const QTreeWidgetItem* node);
    // A widget-free copy of the tree, from which the list files are written.
    SelectionTree selectionTree() const;

private:
    using IndexKey = QPair<const QTreeWidgetItem*, QString>;

    QTreeWidgetItem* insertPath(const QString& path, int lastImage);
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, int image);
    int sortedPosition(const QTreeWidgetItem* parent, const QString& text) const;
    QTreeWidgetItem* child(const QTreeWidgetItem* parent, const QString& text) const;
    void setImage(QTreeWidgetItem* node, int image) const;
    void ensureIndex() const;
    void indexBelow(QTreeWidgetItem* node) const;
    void dropIndex() { m_indexValid = false; }

    QTreeWidget* m_tree;
    Kind m_kind;
    QStringList m_iconKeys;
    mutable QHash<IndexKey, QTreeWidgetItem*> m_index;
    mutable bool m_indexValid = false;
};
