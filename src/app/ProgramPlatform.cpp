#include "app/ProgramPlatform.h"

#include "app/RecordingPlatform.h"
#include "transport/CommandDialUp.h"
#include "winintegration/FreedesktopNotifications.h"
#include "winintegration/LogindPowerOff.h"
#include "winintegration/SecretServiceStore.h"
#include "winintegration/SystemdUserTimer.h"
#include "winintegration/XdgAutostart.h"
#include "winintegration/XdgFileManagerMenu.h"

ProgramPlatform::ProgramPlatform()
{
    if (qEnvironmentVariable("KESTREL_FAKE_PLATFORM") == QLatin1String("1")) {
        m_autostart = std::make_unique<RecordingAutostart>();
        m_powerOff = std::make_unique<RecordingPowerOff>();
        m_dialUp = std::make_unique<RecordingDialUp>();
        m_notifications = std::make_unique<RecordingNotifications>();
        m_fileManagerMenu = std::make_unique<RecordingFileManagerMenu>();
        m_schedule = std::make_unique<RecordingSchedule>();
    } else {
        m_autostart = std::make_unique<XdgAutostart>();
        m_powerOff = std::make_unique<LogindPowerOff>();
        m_dialUp = std::make_unique<CommandDialUp>();
        m_notifications = std::make_unique<FreedesktopNotifications>();
        m_fileManagerMenu = std::make_unique<XdgFileManagerMenu>();
        m_schedule = std::make_unique<SystemdUserTimer>();
    }
    // KESTREL_KEYRING names the keyring: "none" or "secret-service"; unset, the
    // Secret Service, but none with the recording platform.
    const QString keyring = qEnvironmentVariable("KESTREL_KEYRING");
    const bool fake = qEnvironmentVariable("KESTREL_FAKE_PLATFORM") == QLatin1String("1");
    if (keyring == QLatin1String("secret-service") || (keyring.isEmpty() && !fake))
        m_secretStore = std::make_unique<SecretServiceStore>();
    else
        m_secretStore = std::make_unique<RecordingSecretStore>();
}

ProgramPlatform::~ProgramPlatform() = default;

Services::Set ProgramPlatform::services(Prompt* prompt, Clock* clock) const
{
    return {prompt,
            clock,
            m_autostart.get(),
            m_powerOff.get(),
            m_dialUp.get(),
            m_notifications.get(),
            m_fileManagerMenu.get(),
            m_secretStore.get(),
            m_schedule.get()};
}
