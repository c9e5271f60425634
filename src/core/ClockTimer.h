#pragma once

// A repeating timer made by the Clock: the countdowns tick through it, so a test's
// ManualClock fires them as it moves time on instead of waiting. Ticks come on the
// thread that made the timer whenever it processes events, in the nested event loop
// of a modal question too.
class ClockTimer
{
public:
    virtual ~ClockTimer() = default;

    // Starts counting afresh: the first tick comes one interval from now.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0;
};
