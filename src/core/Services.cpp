#include "core/Services.h"

#include "core/Clock.h"
#include "core/RecordingPlatform.h"
#include "core/ScriptedPrompt.h"

namespace {

// Used until something is installed: a program never runs on these, but a unit
// test of a small class need not set up a whole set.
struct Fallbacks
{
    ScriptedPrompt prompt;
    SystemClock clock;
    RecordingAutostart autostart;
    RecordingPowerOff powerOff;
    RecordingDialUp dialUp;
    RecordingNotifications notifications;
    RecordingFileManagerMenu fileManagerMenu;
    RecordingSecretStore secretStore;
};

Fallbacks& fallbacks()
{
    static Fallbacks instance;
    return instance;
}

Services::Set& installed()
{
    static Services::Set set;
    return set;
}

template <typename T> T& pick(T* installedService, T& fallback)
{
    return installedService ? *installedService : fallback;
}

} // namespace

Prompt& Services::prompt()
{
    return pick<Prompt>(installed().prompt, fallbacks().prompt);
}

Clock& Services::clock()
{
    return pick<Clock>(installed().clock, fallbacks().clock);
}

AutostartService& Services::autostart()
{
    return pick<AutostartService>(installed().autostart, fallbacks().autostart);
}

PowerOffService& Services::powerOff()
{
    return pick<PowerOffService>(installed().powerOff, fallbacks().powerOff);
}

DialUpService& Services::dialUp()
{
    return pick<DialUpService>(installed().dialUp, fallbacks().dialUp);
}

DesktopNotificationService& Services::notifications()
{
    return pick<DesktopNotificationService>(installed().notifications, fallbacks().notifications);
}

FileManagerMenuService& Services::fileManagerMenu()
{
    return pick<FileManagerMenuService>(installed().fileManagerMenu, fallbacks().fileManagerMenu);
}

SecretStore& Services::secretStore()
{
    return pick<SecretStore>(installed().secretStore, fallbacks().secretStore);
}

Services::Set Services::current()
{
    return installed();
}

void Services::install(const Set& set)
{
    installed() = set;
}
