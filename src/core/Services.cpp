#include "core/Services.h"

#include <QtGlobal>

namespace {

Services::Set& installed()
{
    static Services::Set set;
    return set;
}

// A service nobody installed is a fault of the program's set-up: a stand-in would
// hide it (a program whose power-off was forgotten would never power off).
template <typename T> T& pick(T* installedService, const char* name)
{
    if (!installedService)
        qFatal("No %s service is installed: install one through Services before using it.", name);
    return *installedService;
}

} // namespace

Prompt& Services::prompt()
{
    return pick(installed().prompt, "prompt");
}

Clock& Services::clock()
{
    return pick(installed().clock, "clock");
}

AutostartService& Services::autostart()
{
    return pick(installed().autostart, "autostart");
}

PowerOffService& Services::powerOff()
{
    return pick(installed().powerOff, "power-off");
}

DialUpService& Services::dialUp()
{
    return pick(installed().dialUp, "dial-up");
}

DesktopNotificationService& Services::notifications()
{
    return pick(installed().notifications, "desktop notification");
}

FileManagerMenuService& Services::fileManagerMenu()
{
    return pick(installed().fileManagerMenu, "file-manager menu");
}

SecretStore& Services::secretStore()
{
    return pick(installed().secretStore, "secret store");
}

ScheduleService& Services::schedule()
{
    return pick(installed().schedule, "schedule");
}

Services::Set Services::current()
{
    return installed();
}

void Services::install(const Set& set)
{
    installed() = set;
}
