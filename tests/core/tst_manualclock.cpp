#include "support/ManualClock.h"

#include <QtTest>

// The test clock's timers, which the countdowns' tests rely on to fire exactly as an
// event-loop timer would, without real time passing.
class TestManualClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timersFireAtTheirOwnTimes()
    {
        ManualClock clock;
        QList<qint64> fast;
        QList<qint64> slow;
        auto fastTimer = clock.createTimer(300, [&] { fast << clock.tickMs(); });
        auto slowTimer = clock.createTimer(1000, [&] { slow << clock.tickMs(); });
        QVERIFY(!fastTimer->isActive());
        clock.advance(5000);
        QVERIFY(fast.isEmpty() && slow.isEmpty());

        fastTimer->start();
        slowTimer->start();
        clock.advance(1000);
        QCOMPARE(fast, (QList<qint64>{5300, 5600, 5900}));
        QCOMPARE(slow, QList<qint64>{6000});
        QCOMPARE(clock.tickMs(), 6000);
        // A wait that processes events is time passing too.
        clock.waitPumping(1000);
        QCOMPARE(slow, (QList<qint64>{6000, 7000}));
    }

    void aSleepHoldsTicksBackAndTheyDoNotCatchUp()
    {
        ManualClock clock;
        int ticks = 0;
        auto timer = clock.createTimer(1000, [&] { ++ticks; });
        timer->start();
        clock.sleep(5500);
        QCOMPARE(ticks, 0);
        clock.advance(0);
        QCOMPARE(ticks, 1);
        clock.advance(999);
        QCOMPARE(ticks, 1);
        clock.advance(1);
        QCOMPARE(ticks, 2);
    }

    void aTickMayStopOrReleaseTimersAndWait()
    {
        ManualClock clock;
        int ticks = 0;
        std::unique_ptr<ClockTimer> other;
        std::unique_ptr<ClockTimer> timer;
        timer = clock.createTimer(1000, [&] {
            ++ticks;
            other.reset();
            // What a sequence started from a tick does while it runs.
            clock.waitPumping(10000);
            timer->stop();
        });
        other = clock.createTimer(1000, [&] { QFAIL("a released timer fired"); });
        timer->start();
        other->start();
        clock.advance(60000);
        QCOMPARE(ticks, 1);
        QCOMPARE(clock.tickMs(), 60000);
    }
};

QTEST_GUILESS_MAIN(TestManualClock)
#include "tst_manualclock.moc"
