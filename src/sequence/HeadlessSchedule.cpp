#include "sequence/HeadlessSchedule.h"

#include "core/DateTimeText.h"
#include "core/KestrelCommandLine.h"
#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/ScheduleChoice.h"
#include "core/Services.h"

#include <QTextStream>

int HeadlessSchedule::run(QTextStream& out, const KestrelCommandLine& commandLine)
{
    const BackUpSchedule schedule = commandLine.schedule();
    const bool on = schedule.kind != BackUpSchedule::Kind::Off;
    try {
        if (on)
            ScheduleChoice::turnOn(schedule);
        else
            ScheduleChoice::turnOff();
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return Failed;
    }
    ScheduleService& timer = Services::schedule();
    if (!on) {
        out << QStringLiteral("No back up sequence runs on a schedule.") << Qt::endl;
        if (!timer.available())
            out << QStringLiteral("Remove the line of this program from your crontab "
                                  "(crontab -e) if you added one.")
                << Qt::endl;
        return Done;
    }
    if (!timer.available()) {
        out << QStringLiteral("This desktop has no systemd user instance to run the schedule. "
                              "Add this line to your crontab (crontab -e) instead:")
            << Qt::endl
            << schedule.crontabLine(ScheduleChoice::runningExecutable()) << Qt::endl;
        return Done;
    }
    const std::optional<QDateTime> next = timer.nextRun();
    out << QStringLiteral("Next back up: %1")
               .arg(next ? dateTimeText(next->toLocalTime()) : QStringLiteral("not known"))
        << Qt::endl;
    return Done;
}
