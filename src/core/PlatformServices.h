#pragma once

#include <QString>

// The stand-ins for the operating-system services the design relies on. Each has a
// real implementation and a recording fake; tests and end-to-end runs with
// KESTREL_FAKE_PLATFORM=1 use the fakes, so nothing ever powers the machine off,
// dials, hangs up, writes into the user's autostart folder or pops up a notification.

// The "start with the desktop" entry of an edition.
class AutostartService
{
public:
    virtual ~AutostartService() = default;
    // True when the entry exists and would start the program.
    virtual bool isPresent() = 0;
    // Writes the entry (true) or deletes it (false); throws KestrelError on failure.
    virtual void write(bool present) = 0;
};

// Forced power-off of the computer.
class PowerOffService
{
public:
    virtual ~PowerOffService() = default;
    // Empty on success, otherwise the message to show.
    virtual QString powerOff() = 0;
};

// The dial-up connection: dial, check that the Internet can be reached, hang up.
class DialUpService
{
public:
    virtual ~DialUpService() = default;
    virtual bool dial() = 0;
    virtual bool attemptConnect() = 0;
    virtual void hangUp() = 0;
};

// A desktop notification: a short message the desktop shows outside the program's
// windows, also where there is no tray.
class DesktopNotificationService
{
public:
    virtual ~DesktopNotificationService() = default;
    // Shows summary and body, both plain text. Returns at once, whatever the desktop
    // does with it; where nothing can show notifications, nothing is shown.
    virtual void notify(const QString& summary, const QString& body) = 0;
};
