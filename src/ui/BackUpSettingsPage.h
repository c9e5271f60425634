#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;

// The "Back Up Settings" page: start-up, sequence-complete and other check boxes.
class BackUpSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit BackUpSettingsPage(QWidget* parent = nullptr);

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
    QCheckBox* ckbLoadDLL;
    QCheckBox* ckbOverWriteFiles;

Q_SIGNALS:
    // The user moved to another page: the settings are stored.
    void hidden();

protected:
    void hideEvent(QHideEvent* event) override;
};
