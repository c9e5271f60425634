#pragma once

#include "core/BackUpSchedule.h"

#include <QDateTime>
#include <QGroupBox>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimeEdit;

// The schedule on the Back Up Settings page: the check box, the kind of schedule
// (daily, every few hours, weekly) and its time, hours or days, and below them when
// the next run is due, or, on a desktop without a timer service, the crontab line to
// use instead. Only the controls of the chosen kind are shown.
class ScheduleBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit ScheduleBox(QWidget* parent = nullptr);

    // The times the controls show, also while the box is unticked.
    BackUpSchedule chosenSchedule() const;
    // Shows the times of a schedule without ticking or unticking the box and without
    // emitting choiceChanged.
    void showChoice(const BackUpSchedule& schedule);
    // Where the desktop has a timer service: the next run (or that none is known)
    // while the box is ticked. Otherwise the note and the crontab line for the
    // executable.
    void showState(bool timerAvailable, const std::optional<QDateTime>& nextRun,
                   const QString& executable);

    QCheckBox* ckbSchedule;
    QComboBox* cmbScheduleKind;
    QLabel* lblScheduleTime;
    QTimeEdit* tmeScheduleTime;
    QLabel* lblScheduleHours;
    QSpinBox* spnScheduleHours;
    QCheckBox* ckbScheduleDays[7];
    QLabel* lblNextBackUp;
    QLabel* lblNoTimer;
    QLineEdit* edbCrontabLine;

Q_SIGNALS:
    // The user changed the kind, the time, the hours or the days.
    void choiceChanged();

private:
    void showKindControls();
};
