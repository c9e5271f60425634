#pragma once

class Prompt;
class Clock;
class AutostartService;
class PowerOffService;
class DialUpService;
class DesktopNotificationService;
class FileManagerMenuService;
class SecretStore;
class ScheduleService;

// The process-wide seams: one prompt, one clock, the platform stand-ins, the
// keyring and the schedule's timer. The program installs the real ones in runKestrelEdition; tests
// install scripted and recording ones through ScopedServices. The objects are owned by whoever
// installed them. Reaching a service that was never installed ends the process, naming it.
class Services
{
public:
    struct Set
    {
        Prompt* prompt = nullptr;
        Clock* clock = nullptr;
        AutostartService* autostart = nullptr;
        PowerOffService* powerOff = nullptr;
        DialUpService* dialUp = nullptr;
        DesktopNotificationService* notifications = nullptr;
        FileManagerMenuService* fileManagerMenu = nullptr;
        SecretStore* secretStore = nullptr;
        ScheduleService* schedule = nullptr;
    };

    static Prompt& prompt();
    static Clock& clock();
    static AutostartService& autostart();
    static PowerOffService& powerOff();
    static DialUpService& dialUp();
    static DesktopNotificationService& notifications();
    static FileManagerMenuService& fileManagerMenu();
    static SecretStore& secretStore();
    static ScheduleService& schedule();

    static Set current();
    static void install(const Set& set);
};

// Installs a set for the life of a scope and puts the previous one back.
class ScopedServices
{
public:
    explicit ScopedServices(const Services::Set& set) : m_previous(Services::current())
    {
        Services::install(set);
    }
    ~ScopedServices() { Services::install(m_previous); }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    Services::Set m_previous;
};
