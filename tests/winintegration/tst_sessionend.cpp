#include "core/QuayRegistryObject.h"
#include "sequence/SequenceState.h"
#include "support/TestEnvironment.h"
#include "winintegration/SessionEndHandling.h"
#include "winintegration/ShutDownCountdown.h"

#include <QtTest>

// The end of the session and the countdown before the power-off, on the manual clock:
// which query is refused, when the sequence starts, and when the computer goes down.
class TestSessionEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    SequenceState state;
    QStringList actions;

    std::unique_ptr<SessionEndHandling> makeHandling()
    {
        return std::make_unique<SessionEndHandling>(
            state.ShutDownTriggered,
            SessionEndHandling::Actions{
                [this] { actions << QStringLiteral("showWindowMaximised"); },
                [this] {
                    // The mark is set before the sequence starts: its end reads it.
                    actions << (state.ShutDownTriggered ? QStringLiteral("runSequence (triggered)")
                                                        : QStringLiteral("runSequence"));
                },
                [this] {
                    actions << QStringLiteral("shutDownDelayElapsed");
                }});
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        state = SequenceState();
        actions.clear();
    }

    void cleanup()
    {
        QVERIFY(env->prompt.unexpected().isEmpty());
        env.reset();
    }

    void theFirstQueryIsRefusedAndASequenceStartsTwoSecondsLater()
    {
        TQuayRegistryObject().WriteRunSequenceOnWindowsShutDown(true);
        const auto handling = makeHandling();
        QVERIFY(!handling->QueryEndSession());
        // The session manager may ask again before the timer fires: still one sequence.
        env->clock.advance(1000);
        QVERIFY(!handling->QueryEndSession());
        env->clock.advance(1999);
        QVERIFY(actions.isEmpty());
        env->clock.advance(1);
        QCOMPARE(actions, (QStringList{QStringLiteral("showWindowMaximised"),
                                       QStringLiteral("runSequence (triggered)")}));
        QVERIFY(state.ShutDownTriggered);
        QVERIFY(!handling->sequenceStartTimer().isActive());
        // While that sequence runs, or after the user cancelled it, the session may end.
        QVERIFY(handling->QueryEndSession());
        env->clock.advance(10000);
        QCOMPARE(actions.size(), 2);
    }

    void withoutTheSettingTheSessionEndsAtOnce()
    {
        const auto handling = makeHandling();
        QVERIFY(handling->QueryEndSession());
        env->clock.advance(5000);
        QVERIFY(actions.isEmpty());
        QVERIFY(!state.ShutDownTriggered);
    }

    void theDelayAfterAFailedSequenceFiresOnce()
    {
        const auto handling = makeHandling();
        handling->startShutDownDelayTimer();
        env->clock.advance(29999);
        QVERIFY(actions.isEmpty());
        env->clock.advance(1);
        QCOMPARE(actions, QStringList{QStringLiteral("shutDownDelayElapsed")});
        env->clock.advance(60000);
        QCOMPARE(actions.size(), 1);
    }

    void theCountdownPowersOffOnTheTickThatShowsZero()
    {
        QStringList shown;
        int finished = 0;
        ShutDownCountdown countdown({[&](int seconds) { shown << QString::number(seconds); },
                                     [&] {
                                         ++finished;
                                     }});
        QCOMPARE(shown, QStringList{QStringLiteral("30")});
        QCOMPARE(countdown.timer().interval(), 1000);
        for (int tick = 29; tick >= 1; --tick) {
            env->clock.advance(1000);
            QCOMPARE(shown.last(), QString::number(tick));
        }
        QVERIFY(env->powerOff.calls().isEmpty());
        env->clock.advance(1000);
        QCOMPARE(shown.last(), QStringLiteral("0"));
        QCOMPARE(env->powerOff.calls(), QStringList{QStringLiteral("power off")});
        QCOMPARE(finished, 1);
        QVERIFY(!countdown.isCounting());
        env->clock.advance(5000);
        QCOMPARE(env->powerOff.calls().size(), 1);
        QCOMPARE(shown.size(), 31);
    }

    void cancelledCountdownNeverPowersOff()
    {
        int finished = 0;
        ShutDownCountdown countdown({[](int) {},
                                     [&] {
                                         ++finished;
                                     }});
        env->clock.advance(10000);
        countdown.cancel();
        countdown.cancel();
        QCOMPARE(finished, 1);
        env->clock.advance(60000);
        QVERIFY(env->powerOff.calls().isEmpty());
        QCOMPARE(countdown.secondsLeft(), 20);
    }

    void aRefusedPowerOffIsToldAndTheCountdownEnds()
    {
        env->powerOff.result = QStringLiteral("No rights to continue");
        int finished = 0;
        ShutDownCountdown countdown({[](int) {},
                                     [&] {
                                         ++finished;
                                     }});
        env->clock.advance(30000);
        QCOMPARE(env->powerOff.calls().size(), 1);
        QCOMPARE(env->prompt.notices(), QStringList{QStringLiteral("No rights to continue")});
        QCOMPARE(finished, 1);
    }
};

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"
