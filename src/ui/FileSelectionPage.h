#pragma once

#include <QWidget>

class PathTree;
class QGroupBox;
class QPushButton;
class QTreeWidget;

// The "File Selection" page: the tree of single files chosen for backing up, the
// working copy of the files list (the setting `FileOfFiles`). The page's own buttons
// run browse() and removeSelected(); showing the page runs reloadIfChanged().
class FileSelectionPage : public QWidget
{
    Q_OBJECT

public:
    explicit FileSelectionPage(QWidget* parent = nullptr);

    // The window's icon keys, which give file nodes their images; set before filling.
    void setIconKeyList(const QStringList& keys);
    // Creation: inserts the entries of the files list into the tree when the list exists.
    // Returns false, after telling the user, when the list cannot be read.
    bool loadList();
    // Save points (window deactivated or closed, sequence start): writes the tree to
    // the files list. An empty tree leaves the list as it is. Returns false, after
    // telling the user, when the list cannot be written.
    bool saveList();
    // Page shown: when `FileListHasChanged` is set, inserts the list's entries into the
    // tree and clears the flag.
    void reloadIfChanged();
    // "Browse...": the files chosen in the file dialog are added to the tree.
    void browse();
    // "Remove Selected File": after the user's Yes, removes the selected node, its
    // emptied parents, and saves the list.
    void removeSelected();

    QGroupBox* GroupBox10;
    QTreeWidget* trvFiles;
    QPushButton* btnFileBrowse;
    QPushButton* BtnRemoveSelectedFiles;
    PathTree* filesTree;

protected:
    void showEvent(QShowEvent* event) override;
};
