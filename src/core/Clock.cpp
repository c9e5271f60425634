#include "core/Clock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

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
