#pragma once

#include <QWidget>

class QGroupBox;
class QPushButton;
class QTreeWidget;

// The "File Selection" page: the tree of single files chosen for backing up.
class FileSelectionPage : public QWidget
{
    Q_OBJECT

public:
    explicit FileSelectionPage(QWidget* parent = nullptr);

    QGroupBox* GroupBox10;
    QTreeWidget* trvFiles;
    QPushButton* btnFileBrowse;
    QPushButton* BtnRemoveSelectedFiles;
};
