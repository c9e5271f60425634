#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// A widget-free copy of a selection tree (the files tree or the folders tree), from
// which the list files are written. The window builds one from its tree view: one
// node per tree item, the item's text, its image index and its children in tree order.
//
// A node's text is one path component. The root of an absolute path is "/"; below it
// each node holds one name: "/home/ann/report.doc" is the chain "/", "home", "ann",
// "report.doc". Joining the texts from a root down gives the node's path.
//
// Images, as the trees use them: 0 the root, 1 a folder on the way, 2 a selected folder
// (folders tree) or a file (files tree; other file icons use other indexes).
struct SelectionTreeNode
{
    QString text;
    int image = 0;
    std::vector<SelectionTreeNode> children;
};

using SelectionTree = std::vector<SelectionTreeNode>;

inline constexpr int selectedFolderImage = 2;

// The node texts of a path: "/home/ann" gives "/", "home", "ann". Empty components
// (a doubled or trailing "/") are dropped.
QStringList selectionPathComponents(const QString& path);
// The inverse: joins with "/" without ever doubling it.
QString joinSelectionPath(const QStringList& components);
