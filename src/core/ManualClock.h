#pragma once

#include "core/Clock.h"

#include <QList>

// A clock for tests: time stands still until a wait moves it on, every wait is
// recorded, and waitPumping processes pending events once so that queued work
// (a click, a timer posted as an event) still runs.
class ManualClock : public Clock
{
public:
    explicit ManualClock(const QDateTime& start = QDateTime(QDate(2026, 12, 7), QTime(20, 54, 48)));

    QDateTime now() const override { return m_now; }
    qint64 tickMs() const override { return m_tickMs; }
    void waitPumping(int milliseconds) override;
    void sleep(int milliseconds) override;

    void advance(qint64 milliseconds);
    void setNow(const QDateTime& now) { m_now = now; }
    const QList<int>& waits() const { return m_waits; }

private:
    QDateTime m_now;
    qint64 m_tickMs = 0;
    QList<int> m_waits;
};
