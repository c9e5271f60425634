#pragma once

#include "core/ClockTimer.h"
#include "core/UnattendedSteps.h"

#include <functional>
#include <memory>

// The countdown that starts a backup sequence on its own after the program has
// started: thirty ticks of one second, then the sequence, unless the user starts it
// at once or cancels. It decides; its window only shows the seconds left and passes
// on the two buttons. RunSequenceNow in the settings store tells whether the
// countdown started the sequence.
class AutoRunCountdown
{
public:
    static constexpr int StartSeconds = 30;
    static constexpr int TickMs = 1000;

    struct Actions
    {
        std::function<void(int seconds)> showSeconds;
        // The routine of "Run Back Up Now"; returns when the sequence has ended.
        std::function<void()> startSequence;
        // Called once, when the countdown is over; its window then goes.
        std::function<void()> finished;
    };

    // Starts counting from StartSeconds.
    explicit AutoRunCountdown(Actions actions);
    ~AutoRunCountdown();
    AutoRunCountdown(const AutoRunCountdown&) = delete;
    AutoRunCountdown& operator=(const AutoRunCountdown&) = delete;

    int secondsLeft() const { return m_seconds; }
    bool isCounting() const { return m_state == State::Counting; }
    const ClockTimer& countDownTimer() const { return *tmrCountDown; }

    // "OK": the sequence now.
    void startNow();
    // "Cancel": asks, and ends the countdown on Yes.
    void askToCancel();
    // The window was closed by other means (the desktop, the end of the program): the
    // countdown ends without a sequence and without a question.
    void abandon();

private:
    enum class State
    {
        Counting,
        SequenceRunning,
        Over
    };

    void tick();
    void runSequence();
    void cancel();
    void finish();
    void storeRunSequenceNow(bool value);

    Actions m_actions;
    std::unique_ptr<ClockTimer> tmrCountDown;
    UnattendedSteps m_unattended;
    int m_seconds = StartSeconds;
    State m_state = State::Counting;
    bool m_questionOpen = false;
    bool m_finishPending = false;
};
