#pragma once

class KestrelCommandLine;
class QTextStream;

// kestrelsolo --schedule WHEN: turns the scheduled runs on with those times, or off,
// as the window's check box does, and prints when the next run is due. Where the
// desktop has no systemd user instance, the choice is stored and the crontab line to
// use instead is printed.
namespace HeadlessSchedule {

enum ExitStatus
{
    Done = 0,
    Failed = 1
};

// The prompt and the schedule service must be installed; lines for the user go to out.
int run(QTextStream& out, const KestrelCommandLine& commandLine);

} // namespace HeadlessSchedule
