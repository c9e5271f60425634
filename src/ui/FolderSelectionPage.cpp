#include "ui/FolderSelectionPage.h"

#include "backupdata/KestrelFolders.h"
#include "backupdata/SelectionList.h"
#include "backupdata/SelectionListText.h"
#include "core/Clock.h"
#include "core/DateTimeText.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "ui/ControlHelpers.h"
#include "ui/ExclusionsEditor.h"
#include "ui/PathTree.h"
#include "ui/SelectionTreeFile.h"
#include "ui/frmQuayMessage.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

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
    trvFolders->setAccessibleName(QStringLiteral("Folders to back up"));
    trvFolders->setHeaderHidden(true);
    trvFolders->setSelectionMode(QAbstractItemView::SingleSelection);
    groupLayout->addWidget(trvFolders);
    layout->addWidget(GroupBox6, 3);
    // Sorted by node text: the path tree inserts every node at its sorted place.
    foldersTree = new PathTree(trvFolders, PathTree::Kind::Folders);

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

    exclusions = new ExclusionsEditor(
        [this] {
            return selectionListEntries(foldersTree->selectionTree(), SelectionListKind::Folders)
                .entries;
        },
        this);
    layout->addWidget(exclusions, 2);

    // Lists the ordinary files of one folder for the sequence; never shown.
    lsbDirFiles = new QListWidget(this);
    lsbDirFiles->setObjectName(QStringLiteral("lsbDirFiles"));
    lsbDirFiles->setVisible(false);

    connect(btnBrowseForFolder, &QPushButton::clicked, this, &FolderSelectionPage::browse);
    connect(btnRemoveDir, &QPushButton::clicked, this, &FolderSelectionPage::removeSelected);
    connect(btnNewFolders, &QPushButton::clicked, this, &FolderSelectionPage::findNewFolders);
}

bool FolderSelectionPage::loadList()
{
    const bool listRead =
        SelectionTreeFile::fill(*foldersTree, TQuayRegistryObject().ReadFileOfDirectories());
    exclusions->load();
    return listRead;
}

bool FolderSelectionPage::saveList()
{
    return SelectionTreeFile::save(*foldersTree, TQuayRegistryObject().ReadFileOfDirectories());
}

void FolderSelectionPage::reloadIfChanged()
{
    SelectionTreeFile::mergeChanges(*foldersTree);
}

void FolderSelectionPage::browse()
{
    // The folder browser starts in the home folder, where a Linux user's own folders lie.
    const std::optional<QString> chosen =
        Services::prompt().chooseFolder(QStringLiteral("Select Folder"), QDir::homePath());
    if (chosen) {
        // A line break in the name would turn one list entry into two other names.
        if (isListableName(*chosen))
            foldersTree->InsertFolderPath(QDir::cleanPath(*chosen));
        else
            Services::prompt().notify(unlistableNameMessage(*chosen), Prompt::Icon::Warning);
    }
    trvFolders->expandAll();
}

void FolderSelectionPage::removeSelected()
{
    const QList<QTreeWidgetItem*> selected = trvFolders->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* node = selected.first();
    const QString question =
        QStringLiteral("Remove \"%1\" folder from back up list?").arg(node->text(0));
    if (Services::prompt().ask(question) != Prompt::Answer::Yes)
        return;
    // Entries another program added meanwhile join the tree first: the list file is
    // rewritten below and would otherwise lose them.
    if (!SelectionTreeFile::mergeChanges(*foldersTree))
        return;
    foldersTree->removeFolderNode(node);
    SelectionTreeFile::save(*foldersTree, TQuayRegistryObject().ReadFileOfDirectories(),
                            SelectionTreeFile::WhenEmpty::EmptyFile);
}

void FolderSelectionPage::findNewFolders()
{
    if (Services::prompt().ask(
            QStringLiteral("This process can take several minutes. Do you wish to continue?")) !=
        Prompt::Answer::Yes)
        return;
    const TQuayRegistryObject store;
    const QString sinceDate = store.ReadFolderSearchDate();
    auto message =
        std::make_unique<TfrmQuayMessage>(this, QStringLiteral("Searching for new folders..."));
    Services::clock().waitPumping(2000);
    QStringList found;
    try {
        found = searchNewFolders(sinceDate);
    } catch (const KestrelError& error) {
        message.reset();
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return;
    }
    message.reset();
    if (found.isEmpty())
        Services::prompt().notify(QStringLiteral("No new folders found"),
                                  Prompt::Icon::Confirmation);
    for (const QString& folder : std::as_const(found)) {
        const Prompt::Answer answer = Services::prompt().ask(
            QStringLiteral("Add folder: \"%1\" to back up folders?").arg(folder),
            Prompt::Buttons::YesNoCancel);
        if (answer == Prompt::Answer::Cancel)
            return;
        if (answer == Prompt::Answer::Yes)
            foldersTree->InsertFolderPath(folder);
    }
    store.WriteFolderSearchDate(dateText(Services::clock().now().date()));
    trvFolders->expandAll();
}

QStringList FolderSelectionPage::searchNewFolders(const QString& sinceDate)
{
    QStringList found;
    TKestrelFolders::FindNewFolders(TKestrelFolders::newFolderSearchRoot(), sinceDate, found, [] {
        QCoreApplication::processEvents();
        return true;
    });
    // Sorted without duplicates; equal names that differ in case are two folders.
    std::sort(found.begin(), found.end(), listTextLess);
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

void FolderSelectionPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    reloadIfChanged();
}
