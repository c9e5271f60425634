#include "ui/FileSelectionPage.h"

#include "backupdata/SelectionListText.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "ui/ControlHelpers.h"
#include "ui/PathTree.h"
#include "ui/SelectionTreeFile.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

FileSelectionPage::FileSelectionPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tbsFileSelection"));
    setHelpContext(this, 200);
    auto* layout = new QVBoxLayout(this);
    GroupBox10 =
        makeGroup(this, QStringLiteral("GroupBox10"), QStringLiteral("Selected Files To Back Up"));
    auto* groupLayout = new QVBoxLayout(GroupBox10);
    trvFiles = new QTreeWidget(GroupBox10);
    trvFiles->setObjectName(QStringLiteral("trvFiles"));
    trvFiles->setAccessibleName(QStringLiteral("Files to back up"));
    trvFiles->setHeaderHidden(true);
    trvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    groupLayout->addWidget(trvFiles);
    layout->addWidget(GroupBox10, 1);
    filesTree = new PathTree(trvFiles, PathTree::Kind::Files);

    auto* buttons = new QHBoxLayout;
    btnFileBrowse = makeButton(this, QStringLiteral("btnFileBrowse"), QStringLiteral("Browse..."),
                               QStringLiteral("Browse for files to select"));
    BtnRemoveSelectedFiles = makeButton(
        this, QStringLiteral("BtnRemoveSelectedFiles"), QStringLiteral("Remove Selected File"),
        QStringLiteral("Remove the selected file(s) from back up list"));
    buttons->addWidget(btnFileBrowse);
    buttons->addWidget(BtnRemoveSelectedFiles);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(btnFileBrowse, &QPushButton::clicked, this, &FileSelectionPage::browse);
    connect(BtnRemoveSelectedFiles, &QPushButton::clicked, this,
            &FileSelectionPage::removeSelected);
}

void FileSelectionPage::setIconKeyList(const QStringList& keys)
{
    filesTree->setIconKeyList(keys);
}

bool FileSelectionPage::loadList()
{
    return SelectionTreeFile::fill(*filesTree, TQuayRegistryObject().ReadFileOfFiles());
}

bool FileSelectionPage::saveList()
{
    return SelectionTreeFile::save(*filesTree, TQuayRegistryObject().ReadFileOfFiles());
}

void FileSelectionPage::reloadIfChanged()
{
    SelectionTreeFile::mergeChanges(*filesTree);
}

void FileSelectionPage::browse()
{
    const std::optional<QStringList> chosen = Services::prompt().chooseFiles(
        QStringLiteral("Select File To Add To Back Up File List"), QDir::homePath(), QString());
    for (const QString& file : chosen.value_or(QStringList())) {
        // A line break in the name would turn one list entry into two other names.
        if (isListableName(file))
            filesTree->InsertFilePath(QDir::cleanPath(file));
        else
            Services::prompt().notify(unlistableNameMessage(file), Prompt::Icon::Warning);
    }
    trvFiles->expandAll();
}

void FileSelectionPage::removeSelected()
{
    const QList<QTreeWidgetItem*> selected = trvFiles->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* node = selected.first();
    const QString question =
        QStringLiteral("Remove \"%1\" file from back up list?").arg(node->text(0));
    if (Services::prompt().ask(question) != Prompt::Answer::Yes)
        return;
    // Entries another program added meanwhile join the tree first: the list file is
    // rewritten below and would otherwise lose them.
    if (!SelectionTreeFile::mergeChanges(*filesTree))
        return;
    filesTree->removeFileNode(node);
    SelectionTreeFile::save(*filesTree, TQuayRegistryObject().ReadFileOfFiles(),
                            SelectionTreeFile::WhenEmpty::EmptyFile);
}

void FileSelectionPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    reloadIfChanged();
}
