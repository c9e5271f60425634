#pragma once

#include <QWidget>

class ExclusionsEditor;
class PathTree;
class QCheckBox;
class QGroupBox;
class QListWidget;
class QPushButton;
class QTreeWidget;

// The "Folder Selection" page: the tree of whole folders chosen for backing up, the
// working copy of the folders list (the setting `FileOfDirectories`). The page's own
// buttons run browse(), removeSelected() and findNewFolders(); showing the page runs
// reloadIfChanged().
class FolderSelectionPage : public QWidget
{
    Q_OBJECT

public:
    explicit FolderSelectionPage(QWidget* parent = nullptr);

    // Creation: inserts the entries of the folders list into the tree when the list
    // exists, and loads what is left out. Returns false, after telling the user, when
    // the list cannot be read.
    bool loadList();
    // Save points (window deactivated or closed, sequence start): writes the tree to
    // the folders list. An empty tree leaves the list as it is. Returns false, after
    // telling the user, when the list cannot be written.
    bool saveList();
    // Page shown: when `FolderListHasChanged` is set, inserts the list's entries into
    // the tree and clears the flag.
    void reloadIfChanged();
    // "Browse...": a folder chosen in the folder browser, which starts in the home
    // folder, is added to the tree.
    void browse();
    // "Remove Folder": after the user's Yes, removes the selected folder (a selected
    // folder with selected sub-folders becomes a path node) and saves the list.
    void removeSelected();
    // "New?": offers, one by one, the folders below the home folder changed since
    // `FolderSearchDate`, then stores today's date there. Cancel stops at once and
    // keeps the date.
    void findNewFolders();

    QGroupBox* GroupBox6;
    QTreeWidget* trvFolders;
    QPushButton* btnBrowseForFolder;
    QCheckBox* ckbBackUpSubFolders;
    QPushButton* btnRemoveDir;
    QPushButton* btnNewFolders;
    QListWidget* lsbDirFiles;
    PathTree* foldersTree;
    ExclusionsEditor* exclusions;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QStringList searchNewFolders(const QString& sinceDate);
};
