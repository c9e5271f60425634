#pragma once

#include "core/ClockTimer.h"

#include <functional>
#include <memory>

// The last thirty seconds before the program shuts the computer down: one tick a
// second, then a forced power-off, unless the user cancels first. It decides; its
// window only shows the seconds left and passes on Cancel.
class ShutDownCountdown
{
public:
    static constexpr int StartSeconds = 30;
    static constexpr int TickMs = 1000;

    struct Actions
    {
        std::function<void(int seconds)> showSeconds;
        // Called once, when the countdown is over (cancelled, or the power-off was
        // asked for); its window then goes.
        std::function<void()> finished;
    };

    // Starts counting from StartSeconds.
    explicit ShutDownCountdown(Actions actions);
    ~ShutDownCountdown();
    ShutDownCountdown(const ShutDownCountdown&) = delete;
    ShutDownCountdown& operator=(const ShutDownCountdown&) = delete;

    int secondsLeft() const { return m_seconds; }
    bool isCounting() const { return tmrShutDown->isActive(); }
    const ClockTimer& timer() const { return *tmrShutDown; }

    // "Cancel": the timer stops and nothing else is undone.
    void cancel();

private:
    void tick();
    void shutDown();

    Actions m_actions;
    std::unique_ptr<ClockTimer> tmrShutDown;
    int m_seconds = StartSeconds;
    bool m_over = false;
};
