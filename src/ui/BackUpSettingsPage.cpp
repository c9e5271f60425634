#include "ui/BackUpSettingsPage.h"

#include "ui/ControlHelpers.h"
#include "ui/ScheduleBox.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QVBoxLayout>

BackUpSettingsPage::BackUpSettingsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tbsBackUpSettings"));
    setHelpContext(this, 600);
    auto* layout = new QVBoxLayout(this);

    grbStartUpSettings =
        makeGroup(this, QStringLiteral("grbStartUpSettings"), QStringLiteral("Start Up Settings"));
    auto* startUp = new QVBoxLayout(grbStartUpSettings);
    ckbStartUp = makeCheckBox(grbStartUpSettings, QStringLiteral("ckbStartUp"),
                              QStringLiteral("Start Up With Windows"),
                              QStringLiteral("Start the program when you log in to the desktop"));
    ckbStartUpMinimised = makeCheckBox(grbStartUpSettings, QStringLiteral("ckbStartUpMinimised"),
                                       QStringLiteral("Start Up Minimised"));
    ckbRunSequenceOnStartUp =
        makeCheckBox(grbStartUpSettings, QStringLiteral("ckbRunSequenceOnStartUp"),
                     QStringLiteral("Run Back Up Sequence On Start Up"));
    ckbLoadLogTree = makeCheckBox(grbStartUpSettings, QStringLiteral("ckbLoadLogTree"),
                                  QStringLiteral("Load Log File On Start Up"));
    for (QCheckBox* box :
         {ckbStartUp, ckbStartUpMinimised, ckbRunSequenceOnStartUp, ckbLoadLogTree})
        startUp->addWidget(box);
    layout->addWidget(grbStartUpSettings);

    grbSequenceCompleteSettings = makeGroup(this, QStringLiteral("grbSequenceCompleteSettings"),
                                            QStringLiteral("Sequence Complete Settings"));
    auto* complete = new QVBoxLayout(grbSequenceCompleteSettings);
    ckbShutDown = makeCheckBox(grbSequenceCompleteSettings, QStringLiteral("ckbShutDown"),
                               QStringLiteral("Shut Down After Back Up Complete"));
    ckbCloseTray = makeCheckBox(grbSequenceCompleteSettings, QStringLiteral("ckbCloseTray"),
                                QStringLiteral("Close Tray After Back Up Complete"));
    ckbCloseTray->setVisible(false);
    ckbDisconnectConnection =
        makeCheckBox(grbSequenceCompleteSettings, QStringLiteral("ckbDisconnectConnection"),
                     QStringLiteral("Disconnect After Back Up Complete"));
    ckbCloseApplicationAfterSequence = makeCheckBox(
        grbSequenceCompleteSettings, QStringLiteral("ckbCloseApplicationAfterSequence"),
        QStringLiteral("Close Application After Back Up Complete"));
    for (QCheckBox* box :
         {ckbShutDown, ckbCloseTray, ckbDisconnectConnection, ckbCloseApplicationAfterSequence})
        complete->addWidget(box);
    layout->addWidget(grbSequenceCompleteSettings);

    grbOtherSettings =
        makeGroup(this, QStringLiteral("grbOtherSettings"), QStringLiteral("Other Settings"));
    auto* other = new QVBoxLayout(grbOtherSettings);
    ckbRunBackUpSequenceOnWindowsShutDown =
        makeCheckBox(grbOtherSettings, QStringLiteral("ckbRunBackUpSequenceOnWindowsShutDown"),
                     QStringLiteral("Run Back Up Sequence on Windows Shut Down"),
                     QStringLiteral("When you log out or shut down, the session waits while a "
                                    "back up sequence runs; the computer is then shut down"));
    lblSessionEndNotHeld = makeLabel(
        grbOtherSettings, QStringLiteral("lblSessionEndNotHeld"),
        QStringLiteral("This desktop does not ask programs before the session ends, so it cannot "
                       "wait for a back up sequence."));
    lblSessionEndNotHeld->setWordWrap(true);
    // Indented under the check box it belongs to.
    lblSessionEndNotHeld->setContentsMargins(20, 0, 0, 0);
    lblSessionEndNotHeld->setVisible(false);
    ckbLoadDLL = makeCheckBox(grbOtherSettings, QStringLiteral("ckbLoadDLL"),
                              QStringLiteral("Add Selection Menu to Windows Explorer Pop Up Menu"));
    ckbOverWriteFiles = makeCheckBox(grbOtherSettings, QStringLiteral("ckbOverWriteFiles"),
                                     QStringLiteral("Overwrite Previousily Backed Up Files"));
    other->addWidget(ckbRunBackUpSequenceOnWindowsShutDown);
    other->addWidget(lblSessionEndNotHeld);
    for (QCheckBox* box : {ckbLoadDLL, ckbOverWriteFiles})
        other->addWidget(box);
    layout->addWidget(grbOtherSettings);
    grbScheduleSettings = new ScheduleBox(this);
    layout->addWidget(grbScheduleSettings);
    layout->addStretch();
}

void BackUpSettingsPage::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Q_EMIT hidden();
}

void BackUpSettingsPage::setSessionEndCanBeHeld(bool canBeHeld)
{
    lblSessionEndNotHeld->setVisible(!canBeHeld);
}
