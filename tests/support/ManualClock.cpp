#include "support/ManualClock.h"

#include <QCoreApplication>

class ManualClock::Timer : public ClockTimer
{
public:
    Timer(ManualClock& clock, int intervalMs, std::function<void()> onTick)
        : m_clock(clock), m_intervalMs(qMax(1, intervalMs)), m_onTick(std::move(onTick))
    {
        m_clock.m_timers << this;
    }
    ~Timer() override
    {
        *m_alive = false;
        m_clock.m_timers.removeOne(this);
    }

    void start() override
    {
        m_active = true;
        m_dueMs = m_clock.m_tickMs + m_intervalMs;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    int interval() const override { return m_intervalMs; }

    // Due, and not inside its own tick: like an event-loop timer, a tick that waits
    // never runs its own timer again from inside.
    bool isDueBy(qint64 tickMs) const { return m_active && !m_firing && m_dueMs <= tickMs; }
    qint64 dueMs() const { return m_dueMs; }

    void fire()
    {
        m_dueMs += m_intervalMs;
        if (m_dueMs <= m_clock.m_tickMs)
            m_dueMs = m_clock.m_tickMs + m_intervalMs;
        // Copies: the tick may release this timer.
        const std::function<void()> onTick = m_onTick;
        const std::shared_ptr<bool> alive = m_alive;
        m_firing = true;
        onTick();
        if (*alive)
            m_firing = false;
    }

private:
    ManualClock& m_clock;
    int m_intervalMs;
    std::function<void()> m_onTick;
    bool m_active = false;
    bool m_firing = false;
    qint64 m_dueMs = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

ManualClock::ManualClock(const QDateTime& start) : m_now(start)
{}

void ManualClock::waitPumping(int milliseconds)
{
    m_waits << milliseconds;
    advance(milliseconds);
    QCoreApplication::processEvents();
}

void ManualClock::sleep(int milliseconds)
{
    m_waits << milliseconds;
    moveTo(m_tickMs + milliseconds);
}

std::unique_ptr<ClockTimer> ManualClock::createTimer(int intervalMs, std::function<void()> onTick)
{
    return std::make_unique<Timer>(*this, intervalMs, std::move(onTick));
}

void ManualClock::advance(qint64 milliseconds)
{
    const qint64 target = m_tickMs + milliseconds;
    // The timers list is looked at afresh after every tick: a tick may start, stop or
    // release timers, or wait and so move time on by itself.
    while (Timer* due = nextDueBy(target)) {
        moveTo(due->dueMs());
        due->fire();
    }
    moveTo(target);
}

void ManualClock::moveTo(qint64 tickMs)
{
    if (tickMs <= m_tickMs)
        return;
    m_now = m_now.addMSecs(tickMs - m_tickMs);
    m_tickMs = tickMs;
}

ManualClock::Timer* ManualClock::nextDueBy(qint64 tickMs) const
{
    Timer* next = nullptr;
    for (Timer* timer : m_timers) {
        if (timer->isDueBy(tickMs) && (!next || timer->dueMs() < next->dueMs()))
            next = timer;
    }
    return next;
}
