#include "core/ScheduleChoice.h"

#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"

#include <QCoreApplication>
#include <QFileInfo>

BackUpSchedule ScheduleChoice::storedTimes()
{
    const std::optional<BackUpSchedule> stored =
        BackUpSchedule::parse(TQuayRegistryObject().ReadBackUpScheduleChoice());
    if (stored && stored->kind != BackUpSchedule::Kind::Off)
        return *stored;
    BackUpSchedule daily;
    daily.kind = BackUpSchedule::Kind::Daily;
    return daily;
}

bool ScheduleChoice::storedOn()
{
    return TQuayRegistryObject().ReadScheduledBackUp();
}

void ScheduleChoice::turnOn(const BackUpSchedule& schedule)
{
    if (schedule.kind == BackUpSchedule::Kind::Off || !schedule.isComplete())
        throw KestrelError(QCoreApplication::translate(
            "ScheduleChoice", "A weekly schedule needs at least one day."));
    ScheduleService& timer = Services::schedule();
    if (timer.available())
        timer.apply(schedule);
    const TQuayRegistryObject store;
    store.WriteBackUpScheduleChoice(schedule.text());
    store.WriteScheduledBackUp(true);
}

void ScheduleChoice::turnOff()
{
    ScheduleService& timer = Services::schedule();
    if (timer.available())
        timer.remove();
    TQuayRegistryObject().WriteScheduledBackUp(false);
}

QString ScheduleChoice::runningExecutable()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}
