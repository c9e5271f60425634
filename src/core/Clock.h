#pragma once

#include "core/ClockTimer.h"

#include <QDateTime>

#include <functional>
#include <memory>

// Every wait of the program goes through one clock: WaitPumping, the pause after
// each mailed file, the start-up pause and the countdowns. Tests install a
// ManualClock, so a 30-second countdown or a 2-second pause takes no time.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;
    // A monotonic millisecond tick, like the system tick counter.
    virtual qint64 tickMs() const = 0;
    // Waits the given time while the window keeps processing its events.
    virtual void waitPumping(int milliseconds) = 0;
    // Waits the given time without processing events.
    virtual void sleep(int milliseconds) = 0;
    // A stopped timer that calls onTick every intervalMs once started. It must not
    // outlive the clock.
    virtual std::unique_ptr<ClockTimer> createTimer(int intervalMs,
                                                    std::function<void()> onTick) = 0;
};

// The real clock: wall time, the monotonic timer, real waits.
class SystemClock : public Clock
{
public:
    SystemClock();

    QDateTime now() const override;
    qint64 tickMs() const override;
    void waitPumping(int milliseconds) override;
    void sleep(int milliseconds) override;
    std::unique_ptr<ClockTimer> createTimer(int intervalMs, std::function<void()> onTick) override;

private:
    qint64 m_startMs;
};
