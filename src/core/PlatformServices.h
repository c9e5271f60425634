#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

struct BackUpSchedule;
struct EditionProfile;

// The stand-ins for the operating-system services the design relies on. Each has a
// real implementation and a recording fake; tests and end-to-end runs with
// KESTREL_FAKE_PLATFORM=1 use the fakes, so nothing ever powers the machine off,
// dials, hangs up, writes into the user's autostart or file-manager folders or pops
// up a notification.

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

// The file-manager menu entry that adds the selected files and folders to the backup
// lists: the edition's helper program in the shell-extension folder and the action
// files of the file managers that run it.
class FileManagerMenuService
{
public:
    virtual ~FileManagerMenuService() = default;
    // Copies the helper into the shell-extension folder if it is not there yet (an
    // existing copy is never replaced), then writes the action files. Returns false,
    // having written nothing, when no helper is there to run. Throws KestrelError when
    // a file cannot be written.
    virtual bool registerMenu(const EditionProfile& profile) = 0;
    // Deletes the action files; the helper stays. Returns false, having done nothing,
    // when no helper is in the shell-extension folder.
    virtual bool removeMenu(const EditionProfile& profile) = 0;
};

// The desktop's timer that starts a back up sequence without a window on a schedule,
// also one missed while the computer was off, at the next start.
class ScheduleService
{
public:
    virtual ~ScheduleService() = default;
    // Whether this desktop has a timer service to hand the schedule to.
    virtual bool available() = 0;
    // Installs and starts the timer for the schedule, replacing an earlier one. Throws
    // KestrelError, naming what failed.
    virtual void apply(const BackUpSchedule& schedule) = 0;
    // Stops the timer and removes it; nothing happens when there is none. Throws
    // KestrelError, naming what failed.
    virtual void remove() = 0;
    // When the timer runs next; empty when no timer is installed or it does not say.
    virtual std::optional<QDateTime> nextRun() = 0;
};
