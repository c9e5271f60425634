#include "ui/FileSelectionPage.h"

#include "ui/ControlHelpers.h"

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
    trvFiles->setHeaderHidden(true);
    trvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    groupLayout->addWidget(trvFiles);
    layout->addWidget(GroupBox10, 1);

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
}
