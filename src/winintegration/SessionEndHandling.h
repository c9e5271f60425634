#pragma once

#include "core/ClockTimer.h"

#include <functional>
#include <memory>

// A backup when the desktop session ends, and the pause before the shut-down
// countdown after a failed sequence. While "Run Back Up Sequence on Windows Shut
// Down" is on, the first query of the session's end is refused and, two seconds
// later, the main window runs a sequence marked as started by the shut-down; its end
// opens the countdown. A query that comes while that mark is set is allowed, so the
// session can end after the user cancelled the sequence. The query is answered at
// once: the work is left to the timers, so the session manager never waits.
class SessionEndHandling
{
public:
    static constexpr int SequenceStartDelayMs = 2000;
    // The pause after a failed sequence before the shut-down countdown opens.
    static constexpr int ShutDownDelayMs = 30000;

    struct Actions
    {
        // Brings the main window up maximised, so the sequence can be seen.
        std::function<void()> showWindowMaximised;
        // The routine of "Run Back Up Now".
        std::function<void()> runSequence;
        // The end operations' step after the 30 s delay: hang up, clear the mark,
        // open the countdown.
        std::function<void()> shutDownDelayElapsed;
    };

    // shutDownTriggered is the owner's mark of a sequence started by the session's
    // end; it outlives this object, and the sequence's end reads and clears it.
    SessionEndHandling(bool& shutDownTriggered, Actions actions);
    ~SessionEndHandling();
    SessionEndHandling(const SessionEndHandling&) = delete;
    SessionEndHandling& operator=(const SessionEndHandling&) = delete;

    // The session manager asks whether the session may end; true allows it.
    bool QueryEndSession();
    // Starts the 30 s delay after a failed sequence.
    void startShutDownDelayTimer();

    const ClockTimer& sequenceStartTimer() const { return *tmrWindowsShutDownBackUpSequenceRun; }
    const ClockTimer& shutDownDelayTimer() const { return *tmrStartShutDownSequene; }

private:
    void startSequence();
    void shutDownDelayElapsed();

    bool& m_shutDownTriggered;
    Actions m_actions;
    std::unique_ptr<ClockTimer> tmrWindowsShutDownBackUpSequenceRun;
    std::unique_ptr<ClockTimer> tmrStartShutDownSequene;
};
