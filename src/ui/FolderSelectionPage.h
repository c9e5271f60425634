#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QListWidget;
class QPushButton;
class QTreeWidget;

// The "Folder Selection" page: the tree of whole folders chosen for backing up.
class FolderSelectionPage : public QWidget
{
    Q_OBJECT

public:
    explicit FolderSelectionPage(QWidget* parent = nullptr);

    QGroupBox* GroupBox6;
    QTreeWidget* trvFolders;
    QPushButton* btnBrowseForFolder;
    QCheckBox* ckbBackUpSubFolders;
    QPushButton* btnRemoveDir;
    QPushButton* btnNewFolders;
    QListWidget* lsbDirFiles;
};
