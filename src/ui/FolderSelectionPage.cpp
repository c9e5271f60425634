#include "ui/FolderSelectionPage.h"

#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

FolderSelectionPage::FolderSelectionPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tbsFolderSelection"));
    setHelpContext(this, 300);
    auto* layout = new QVBoxLayout(this);
    GroupBox6 =
        makeGroup(this, QStringLiteral("GroupBox6"), QStringLiteral("Selected Folders To Back Up"));
    auto* groupLayout = new QVBoxLayout(GroupBox6);
    trvFolders = new QTreeWidget(GroupBox6);
    trvFolders->setObjectName(QStringLiteral("trvFolders"));
    trvFolders->setHeaderHidden(true);
    trvFolders->setSelectionMode(QAbstractItemView::SingleSelection);
    groupLayout->addWidget(trvFolders);
    layout->addWidget(GroupBox6, 1);

    auto* buttons = new QHBoxLayout;
    btnBrowseForFolder =
        makeButton(this, QStringLiteral("btnBrowseForFolder"), QStringLiteral("Browse..."),
                   QStringLiteral("Browse for folders to add to back up list."));
    ckbBackUpSubFolders = makeCheckBox(
        this, QStringLiteral("ckbBackUpSubFolders"), QStringLiteral("Back Up Sub Folders "),
        QStringLiteral("Back up sub folders of the selected folders"));
    btnRemoveDir = makeButton(this, QStringLiteral("btnRemoveDir"), QStringLiteral("Remove Folder"),
                              QStringLiteral("Remove selected folder(s) from back list"));
    btnNewFolders = makeButton(this, QStringLiteral("btnNewFolders"), QStringLiteral("New?"),
                               QStringLiteral("Compile a list of new folders to check."));
    btnNewFolders->setVisible(false);
    buttons->addWidget(btnBrowseForFolder);
    buttons->addWidget(ckbBackUpSubFolders);
    buttons->addStretch();
    buttons->addWidget(btnNewFolders);
    buttons->addWidget(btnRemoveDir);
    layout->addLayout(buttons);

    // Lists the ordinary files of one folder for the sequence; never shown.
    lsbDirFiles = new QListWidget(this);
    lsbDirFiles->setObjectName(QStringLiteral("lsbDirFiles"));
    lsbDirFiles->setVisible(false);
}
