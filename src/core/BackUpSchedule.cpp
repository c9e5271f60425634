#include "core/BackUpSchedule.h"

#include <QStringList>

#include <algorithm>

namespace {

const char* const DayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

std::optional<QTime> parseTime(const QString& text)
{
    const QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
    if (!time.isValid())
        return std::nullopt;
    return time;
}

std::optional<QList<int>> parseDays(const QString& text)
{
    QList<int> days;
    for (const QString& name : text.split(QLatin1Char(','))) {
        const auto* found =
            std::find_if(std::begin(DayNames), std::end(DayNames), [&](const char* day) {
                return name.trimmed().compare(QLatin1String(day), Qt::CaseInsensitive) == 0;
            });
        if (found == std::end(DayNames))
            return std::nullopt;
        days << int(found - std::begin(DayNames)) + 1;
    }
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return days;
}

QString dayList(const QList<int>& days, bool asNumbers)
{
    QStringList names;
    for (const int day : days)
        names << (asNumbers ? QString::number(day % 7) : QLatin1String(DayNames[day - 1]));
    return names.join(QLatin1Char(','));
}

} // namespace

std::optional<BackUpSchedule> BackUpSchedule::parse(const QString& text)
{
    const QString trimmed = text.trimmed().toLower();
    BackUpSchedule schedule;
    if (trimmed == QLatin1String("off"))
        return schedule;
    const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
    const qsizetype at = trimmed.indexOf(QLatin1Char('@'));
    if (trimmed.startsWith(QLatin1String("daily@"))) {
        const std::optional<QTime> time = parseTime(trimmed.mid(at + 1));
        if (!time)
            return std::nullopt;
        schedule.kind = Kind::Daily;
        schedule.time = *time;
        return schedule;
    }
    if (trimmed.startsWith(QLatin1String("hours:"))) {
        bool ok = false;
        const int hours = trimmed.mid(colon + 1).toInt(&ok);
        if (!ok || hours < 1 || hours > MaxHours)
            return std::nullopt;
        schedule.kind = Kind::EveryHours;
        schedule.hours = hours;
        return schedule;
    }
    if (trimmed.startsWith(QLatin1String("weekly:")) && at > colon) {
        const std::optional<QList<int>> days = parseDays(trimmed.mid(colon + 1, at - colon - 1));
        const std::optional<QTime> time = parseTime(trimmed.mid(at + 1));
        if (!days || !time)
            return std::nullopt;
        schedule.kind = Kind::Weekly;
        schedule.days = *days;
        schedule.time = *time;
        return schedule;
    }
    return std::nullopt;
}

bool BackUpSchedule::isComplete() const
{
    if (kind == Kind::Weekly)
        return !days.isEmpty();
    if (kind == Kind::EveryHours)
        return hours >= 1 && hours <= MaxHours;
    return true;
}

QString BackUpSchedule::text() const
{
    const QString at = time.toString(QStringLiteral("HH:mm"));
    switch (kind) {
    case Kind::Off:
        break;
    case Kind::Daily:
        return QStringLiteral("daily@") + at;
    case Kind::EveryHours:
        return QStringLiteral("hours:%1").arg(hours);
    case Kind::Weekly:
        return QStringLiteral("weekly:%1@%2").arg(dayList(days, false), at);
    }
    return QStringLiteral("off");
}

QString BackUpSchedule::onCalendar() const
{
    const QString at = time.toString(QStringLiteral("HH:mm:00"));
    switch (kind) {
    case Kind::Off:
        break;
    case Kind::Daily:
        return QStringLiteral("*-*-* ") + at;
    case Kind::EveryHours:
        return QStringLiteral("*-*-* 00/%1:00:00").arg(hours);
    case Kind::Weekly:
        return QStringLiteral("%1 *-*-* %2").arg(dayList(days, false), at);
    }
    return {};
}

QString BackUpSchedule::crontabLine(const QString& executable) const
{
    // The shell runs the line; an unescaped % would end the command there.
    QString quoted = executable;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    quoted.replace(QLatin1Char('%'), QLatin1String("\\%"));
    const QString command = QLatin1Char('\'') + quoted + QStringLiteral("' --run --no-shut-down");
    const QString minuteHour = QStringLiteral("%1 %2").arg(time.minute()).arg(time.hour());
    switch (kind) {
    case Kind::Off:
        break;
    case Kind::Daily:
        return minuteHour + QStringLiteral(" * * * ") + command;
    case Kind::EveryHours:
        return QStringLiteral("0 */%1 * * * ").arg(hours) + command;
    case Kind::Weekly:
        return minuteHour + QStringLiteral(" * * ") + dayList(days, true) + QLatin1Char(' ') +
               command;
    }
    return {};
}
