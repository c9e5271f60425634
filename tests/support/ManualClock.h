#pragma once

#include "core/Clock.h"

#include <QList>

// A clock for tests: time stands still until a wait moves it on, every wait is
// recorded, and waitPumping processes pending events once so that queued work
// (a click, a timer posted as an event) still runs. Its timers fire while time
// moves on with events processed (advance, waitPumping), each tick at its own time;
// like an event-loop timer, one that fell behind during a sleep fires once and
// then keeps its interval from there.
class ManualClock : public Clock
{
public:
    explicit ManualClock(const QDateTime& start = QDateTime(QDate(2026, 12, 7), QTime(20, 54, 48)));

    QDateTime now() const override { return m_now; }
    qint64 tickMs() const override { return m_tickMs; }
    void waitPumping(int milliseconds) override;
    void sleep(int milliseconds) override;
    std::unique_ptr<ClockTimer> createTimer(int intervalMs, std::function<void()> onTick) override;

    // Moves time on as if events were processed meanwhile: timers due on the way fire.
    void advance(qint64 milliseconds);
    void setNow(const QDateTime& now) { m_now = now; }
    const QList<int>& waits() const { return m_waits; }

private:
    class Timer;
    friend class Timer;

    void moveTo(qint64 tickMs);
    Timer* nextDueBy(qint64 tickMs) const;

    QDateTime m_now;
    qint64 m_tickMs = 0;
    QList<int> m_waits;
    QList<Timer*> m_timers;
};
