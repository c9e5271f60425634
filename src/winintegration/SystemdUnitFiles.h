#pragma once

#include <QString>

struct BackUpSchedule;

// The timer and service units that run an edition's back up sequence on a schedule,
// in the user's own unit folder, $XDG_CONFIG_HOME/systemd/user. Each edition has its
// own pair, kestrel-<edition>.timer and kestrel-<edition>.service.
namespace SystemdUnitFiles {

// "kestrel-solo" for KestrelSolo.
QString unitBaseName(const QString& editionName);
QString unitFolder();
QString timerPath(const QString& editionName);
QString servicePath(const QString& editionName);

// A missed run (the computer was off or asleep) starts at the next start; a short
// random delay keeps it from competing with the log-in.
QString timerText(const BackUpSchedule& schedule, const QString& editionName);
// A one-shot service running the executable (an absolute path) with --run.
QString serviceText(const QString& editionName, const QString& executable);
// One word of an ExecStart line: quoted, with systemd's specifiers and variables
// written as literal text.
QString quoteExecArgument(const QString& argument);

// Writes both files, the service first, so the timer never names a missing service.
// Throws KestrelError with the system's reason.
void write(const BackUpSchedule& schedule, const QString& editionName, const QString& executable);
// Deletes both files where they are; throws KestrelError when one stays.
void remove(const QString& editionName);

} // namespace SystemdUnitFiles
