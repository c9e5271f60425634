#include "core/ManualClock.h"

#include <QCoreApplication>

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
    advance(milliseconds);
}

void ManualClock::advance(qint64 milliseconds)
{
    m_tickMs += milliseconds;
    m_now = m_now.addMSecs(milliseconds);
}
