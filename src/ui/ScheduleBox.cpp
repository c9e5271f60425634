#include "ui/ScheduleBox.h"

#include "core/DateTimeText.h"
#include "ui/ControlHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const char* const DayCaptions[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
// The kinds in the order of the combo box.
const BackUpSchedule::Kind Kinds[] = {BackUpSchedule::Kind::Daily, BackUpSchedule::Kind::EveryHours,
                                      BackUpSchedule::Kind::Weekly};
} // namespace

ScheduleBox::ScheduleBox(QWidget* parent) : QGroupBox(QStringLiteral("Schedule"), parent)
{
    setObjectName(QStringLiteral("grbScheduleSettings"));
    auto* layout = new QVBoxLayout(this);
    ckbSchedule = makeCheckBox(this, QStringLiteral("ckbSchedule"),
                               QStringLiteral("Run a back up sequence on a schedule"),
                               QStringLiteral("The desktop starts the sequence without the window, "
                                              "also one missed while the computer was off"));
    layout->addWidget(ckbSchedule);

    auto* times = new QHBoxLayout;
    times->setContentsMargins(20, 0, 0, 0);
    cmbScheduleKind = new QComboBox(this);
    cmbScheduleKind->setObjectName(QStringLiteral("cmbScheduleKind"));
    cmbScheduleKind->addItems(
        {QStringLiteral("Daily"), QStringLiteral("Every few hours"), QStringLiteral("Weekly")});
    tmeScheduleTime = new QTimeEdit(QTime(12, 0), this);
    tmeScheduleTime->setObjectName(QStringLiteral("tmeScheduleTime"));
    tmeScheduleTime->setDisplayFormat(QStringLiteral("HH:mm"));
    spnScheduleHours = new QSpinBox(this);
    spnScheduleHours->setObjectName(QStringLiteral("spnScheduleHours"));
    spnScheduleHours->setRange(1, BackUpSchedule::MaxHours);
    spnScheduleHours->setSuffix(QStringLiteral(" hours"));
    lblScheduleTime =
        makeLabel(this, QStringLiteral("lblScheduleTime"), QStringLiteral("at"), tmeScheduleTime);
    lblScheduleHours = makeLabel(this, QStringLiteral("lblScheduleHours"), QStringLiteral("every"),
                                 spnScheduleHours);
    times->addWidget(cmbScheduleKind);
    for (int day = 0; day < 7; ++day) {
        ckbScheduleDays[day] = makeCheckBox(this, QStringLiteral("ckbScheduleDay%1").arg(day + 1),
                                            QLatin1String(DayCaptions[day]));
        times->addWidget(ckbScheduleDays[day]);
        connect(ckbScheduleDays[day], &QCheckBox::toggled, this, &ScheduleBox::choiceChanged);
    }
    for (QWidget* widget :
         {static_cast<QWidget*>(lblScheduleTime), static_cast<QWidget*>(tmeScheduleTime),
          static_cast<QWidget*>(lblScheduleHours), static_cast<QWidget*>(spnScheduleHours)})
        times->addWidget(widget);
    times->addStretch();
    layout->addLayout(times);

    lblNextBackUp = makeLabel(this, QStringLiteral("lblNextBackUp"), {});
    lblNextBackUp->setContentsMargins(20, 0, 0, 0);
    edbCrontabLine = makeEdit(this, QStringLiteral("edbCrontabLine"));
    edbCrontabLine->setReadOnly(true);
    lblNoTimer = makeLabel(
        this, QStringLiteral("lblNoTimer"),
        QStringLiteral("This desktop has no systemd user instance to run the schedule. Add this "
                       "line to your crontab (crontab -e) instead; cron does not catch up a run "
                       "missed while the computer was off:"),
        edbCrontabLine);
    lblNoTimer->setWordWrap(true);
    lblNoTimer->setContentsMargins(20, 0, 0, 0);
    for (QWidget* widget : {static_cast<QWidget*>(lblNextBackUp), static_cast<QWidget*>(lblNoTimer),
                            static_cast<QWidget*>(edbCrontabLine)}) {
        widget->setVisible(false);
        layout->addWidget(widget);
    }

    connect(cmbScheduleKind, &QComboBox::currentIndexChanged, this, [this] {
        showKindControls();
        Q_EMIT choiceChanged();
    });
    connect(tmeScheduleTime, &QTimeEdit::timeChanged, this, &ScheduleBox::choiceChanged);
    connect(spnScheduleHours, &QSpinBox::valueChanged, this, &ScheduleBox::choiceChanged);
    showKindControls();
}

BackUpSchedule ScheduleBox::chosenSchedule() const
{
    BackUpSchedule schedule;
    schedule.kind = Kinds[std::clamp(cmbScheduleKind->currentIndex(), 0, 2)];
    schedule.time = tmeScheduleTime->time();
    schedule.hours = spnScheduleHours->value();
    for (int day = 0; day < 7; ++day) {
        if (ckbScheduleDays[day]->isChecked())
            schedule.days << day + 1;
    }
    return schedule;
}

void ScheduleBox::showChoice(const BackUpSchedule& schedule)
{
    const QSignalBlocker blockKind(cmbScheduleKind);
    const QSignalBlocker blockTime(tmeScheduleTime);
    const QSignalBlocker blockHours(spnScheduleHours);
    const auto kind = std::find(std::begin(Kinds), std::end(Kinds), schedule.kind);
    if (kind != std::end(Kinds))
        cmbScheduleKind->setCurrentIndex(int(kind - std::begin(Kinds)));
    tmeScheduleTime->setTime(schedule.time);
    spnScheduleHours->setValue(schedule.hours);
    for (int day = 0; day < 7; ++day) {
        const QSignalBlocker blockDay(ckbScheduleDays[day]);
        ckbScheduleDays[day]->setChecked(schedule.days.contains(day + 1));
    }
    showKindControls();
}

void ScheduleBox::showKindControls()
{
    const BackUpSchedule::Kind kind = Kinds[std::clamp(cmbScheduleKind->currentIndex(), 0, 2)];
    for (QWidget* widget :
         {static_cast<QWidget*>(lblScheduleTime), static_cast<QWidget*>(tmeScheduleTime)})
        widget->setVisible(kind != BackUpSchedule::Kind::EveryHours);
    for (QWidget* widget :
         {static_cast<QWidget*>(lblScheduleHours), static_cast<QWidget*>(spnScheduleHours)})
        widget->setVisible(kind == BackUpSchedule::Kind::EveryHours);
    for (QCheckBox* day : ckbScheduleDays)
        day->setVisible(kind == BackUpSchedule::Kind::Weekly);
}

void ScheduleBox::showState(bool timerAvailable, const std::optional<QDateTime>& nextRun,
                            const QString& executable)
{
    const bool ticked = ckbSchedule->isChecked();
    lblNextBackUp->setVisible(ticked && timerAvailable);
    lblNextBackUp->setText(
        QStringLiteral("Next back up: %1")
            .arg(nextRun ? dateTimeText(nextRun->toLocalTime()) : QStringLiteral("not known")));
    const BackUpSchedule schedule = chosenSchedule();
    const bool showCrontab = ticked && !timerAvailable && schedule.isComplete();
    lblNoTimer->setVisible(ticked && !timerAvailable);
    edbCrontabLine->setVisible(showCrontab);
    edbCrontabLine->setText(showCrontab ? schedule.crontabLine(executable) : QString());
}
