#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class ScheduleBox;

// The "Back Up Settings" page: start-up, sequence-complete and other check boxes, and
// the schedule.
class BackUpSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit BackUpSettingsPage(QWidget* parent = nullptr);

    // Whether this desktop lets the program hold the end of the session back.
    void setSessionEndCanBeHeld(bool canBeHeld);

    QGroupBox* grbStartUpSettings;
    QCheckBox* ckbStartUp;
    QCheckBox* ckbStartUpMinimised;
    QCheckBox* ckbRunSequenceOnStartUp;
    QCheckBox* ckbLoadLogTree;
    QGroupBox* grbSequenceCompleteSettings;
    QCheckBox* ckbShutDown;
    QCheckBox* ckbCloseTray;
    QCheckBox* ckbDisconnectConnection;
    QCheckBox* ckbCloseApplicationAfterSequence;
    QGroupBox* grbOtherSettings;
    QCheckBox* ckbRunBackUpSequenceOnWindowsShutDown;
    // Shown where the desktop ends the session without asking programs.
    QLabel* lblSessionEndNotHeld;
    QCheckBox* ckbLoadDLL;
    QCheckBox* ckbOverWriteFiles;
    ScheduleBox* grbScheduleSettings;

Q_SIGNALS:
    // The user moved to another page: the settings are stored.
    void hidden();

protected:
    void hideEvent(QHideEvent* event) override;
};
