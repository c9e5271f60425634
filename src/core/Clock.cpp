#include "core/Clock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {
QElapsedTimer& monotonic()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

// A QTimer: it fires whenever the thread's event loop runs, nested loops included.
class EventLoopTimer : public ClockTimer
{
public:
    EventLoopTimer(int intervalMs, std::function<void()> onTick)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(onTick));
    }

    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int interval() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};
} // namespace

SystemClock::SystemClock() : m_startMs(monotonic().elapsed())
{}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::tickMs() const
{
    return monotonic().elapsed();
}

void SystemClock::waitPumping(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    do {
        // Sleeps in the event dispatcher until an event arrives or the time is up,
        // so the wait costs no processor time.
        const qint64 left = deadline.remainingTime();
        QCoreApplication::processEvents(QEventLoop::AllEvents,
                                        static_cast<int>(qMax<qint64>(left, 0)));
        if (left > 0 && deadline.remainingTime() > 0)
            QThread::msleep(static_cast<unsigned long>(qMin<qint64>(deadline.remainingTime(), 10)));
    } while (!deadline.hasExpired());
}

void SystemClock::sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

std::unique_ptr<ClockTimer> SystemClock::createTimer(int intervalMs, std::function<void()> onTick)
{
    return std::make_unique<EventLoopTimer>(intervalMs, std::move(onTick));
}
