#include "ui/BackUpLogPage.h"

#include "ui/ControlHelpers.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

BackUpLogPage::BackUpLogPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tbsBackUpLog"));
    setHelpContext(this, 400);
    auto* layout = new QVBoxLayout(this);
    gpbBackedUpFiles =
        makeGroup(this, QStringLiteral("gpbBackedUpFiles"), QStringLiteral("Backed Up Files"));
    auto* groupLayout = new QVBoxLayout(gpbBackedUpFiles);
    trvBackUpLog = new QTreeWidget(gpbBackedUpFiles);
    trvBackUpLog->setObjectName(QStringLiteral("trvBackUpLog"));
    trvBackUpLog->setAccessibleName(QStringLiteral("Back up log"));
    trvBackUpLog->setHeaderHidden(true);
    groupLayout->addWidget(trvBackUpLog);
    layout->addWidget(gpbBackedUpFiles, 1);
    // Created hidden; no edition shows it.
    btnAddFileBackUpRequest = makeButton(this, QStringLiteral("btnAddFileBackUpRequest"),
                                         QStringLiteral("Send Back Up Request"),
                                         QStringLiteral("Request back up for selected file."));
    btnAddFileBackUpRequest->setVisible(false);
    layout->addWidget(btnAddFileBackUpRequest);
}

void BackUpLogPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Q_EMIT shown();
}
