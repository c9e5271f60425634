#pragma once

#include "core/Services.h"

#include <memory>

class AutostartService;
class PowerOffService;
class DialUpService;
class DesktopNotificationService;
class FileManagerMenuService;
class SecretStore;
class ScheduleService;

// The platform services a running program installs: the real ones, or with
// KESTREL_FAKE_PLATFORM=1 the recording fakes, so that an end-to-end run of a real
// executable can never power the machine off, dial, write an autostart entry or a
// file-manager menu or a timer, or pop up a notification. The keyring is the Secret Service, or
// none with the fakes unless KESTREL_KEYRING=secret-service asks for it.
class ProgramPlatform
{
public:
    ProgramPlatform();
    ~ProgramPlatform();
    ProgramPlatform(const ProgramPlatform&) = delete;
    ProgramPlatform& operator=(const ProgramPlatform&) = delete;

    // The set to install: these services with the caller's prompt and clock.
    Services::Set services(Prompt* prompt, Clock* clock) const;

private:
    std::unique_ptr<AutostartService> m_autostart;
    std::unique_ptr<PowerOffService> m_powerOff;
    std::unique_ptr<DialUpService> m_dialUp;
    std::unique_ptr<DesktopNotificationService> m_notifications;
    std::unique_ptr<FileManagerMenuService> m_fileManagerMenu;
    std::unique_ptr<SecretStore> m_secretStore;
    std::unique_ptr<ScheduleService> m_schedule;
};
