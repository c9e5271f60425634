#pragma once

#include <QList>
#include <QString>
#include <QTime>

#include <optional>

// When the timer of the desktop runs a back up sequence: daily at a time, every few
// hours, or on chosen days of the week at a time. Written as text ("daily@07:30",
// "hours:6", "weekly:Mon,Wed@07:30", "off"), the form the settings store keeps and
// --schedule takes.
struct BackUpSchedule
{
    enum class Kind
    {
        Off,
        Daily,
        EveryHours,
        Weekly
    };

    Kind kind = Kind::Off;
    QTime time = QTime(12, 0);
    // 1 to 23: the runs start at midnight, so a count that does not divide 24 has a
    // shorter gap before the first run of the day.
    int hours = 6;
    // Qt::DayOfWeek values, 1 (Monday) to 7, ascending and without repeats.
    QList<int> days;

    static constexpr int MaxHours = 23;

    // Empty for a text that names no schedule.
    static std::optional<BackUpSchedule> parse(const QString& text);
    // False for a weekly schedule without days or an hour count out of range.
    bool isComplete() const;
    QString text() const;
    // The timer's calendar expression, such as "Mon,Wed *-*-* 07:30:00"; empty for Off.
    QString onCalendar() const;
    // The same times as a crontab line running the executable with --run (cron
    // catches up no missed run).
    QString crontabLine(const QString& executable) const;

    bool operator==(const BackUpSchedule& other) const = default;
};
