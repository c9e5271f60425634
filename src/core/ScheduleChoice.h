#pragma once

#include "core/BackUpSchedule.h"

// The schedule the user chose, kept in the settings store, and the timer of the
// desktop that runs it. The window and --schedule both go through here, so both
// leave the store and the timer alike.
namespace ScheduleChoice {

// The stored times, also while the schedule is off; daily at noon before any choice.
BackUpSchedule storedTimes();
bool storedOn();
// Hands the schedule to the timer service where the desktop has one, then stores it
// as on. Throws KestrelError, having stored nothing, when the schedule is incomplete
// or the timer refuses it.
void turnOn(const BackUpSchedule& schedule);
// Removes the timer where the desktop has one, then stores the schedule as off.
// Throws KestrelError when the timer stays.
void turnOff();
// The absolute path of the running executable, which the timer runs.
QString runningExecutable();

} // namespace ScheduleChoice
