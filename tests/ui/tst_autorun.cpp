#include "core/QuayRegistryObject.h"
#include "core/SettingsDatabase.h"
#include "support/TestEnvironment.h"
#include "ui/SummaryPage.h"
#include "ui/frmAutoRun.h"
#include "ui/frmKestrelClientMain.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The auto-run countdown of the main window's start-up. Every sequence it starts
// fails at once on a connection the recording dial-up refuses, so a sequence is
// seen as one "dial" call, and thirty seconds pass on the manual clock in no time.
class TestAutoRun : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TfrmKestrelClientMain> window;

    static constexpr auto SequenceFailed =
        "Connection not established.  Back up sequence cancelled.";

    void startProgram(bool autoRun = true)
    {
        TQuayRegistryObject().WriteStartUpAutoRun(autoRun);
        window = std::make_unique<TfrmKestrelClientMain>();
    }

    static QList<TfrmAutoRun*> countdownWindows()
    {
        QList<TfrmAutoRun*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* countdown = qobject_cast<TfrmAutoRun*>(widget))
                found << countdown;
        }
        return found;
    }

    static QPointer<TfrmAutoRun> theCountdown()
    {
        const QList<TfrmAutoRun*> found = countdownWindows();
        return found.size() == 1 ? found.first() : nullptr;
    }

    static bool released(const QPointer<TfrmAutoRun>& countdown)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return countdown.isNull();
    }

    qsizetype sequencesRun() const { return env->dialUp.calls().count(QStringLiteral("dial")); }

    // The program only writes the flag; read as the registry editor would see it.
    static bool runSequenceNow()
    {
        const auto value = SettingsDatabase::read(TQuayRegistryObject::keyPath(),
                                                  QStringLiteral("RunSequenceNow"));
        return value && value->type == SettingsDatabase::ValueType::Integer &&
               value->data == QByteArray("\x01\x00\x00\x00", 4);
    }

    void seconds(int count)
    {
        for (int i = 0; i < count; ++i)
            env->clock.advance(1000);
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        env->dialUp.dialResult = false;
        env->dialUp.attemptResult = false;
        const TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        // What a sequence started by the countdown left behind the last time.
        store.WriteRunSequenceNow(true);
    }

    void cleanup()
    {
        QVERIFY(env->prompt.unexpected().isEmpty());
        window.reset();
        QVERIFY(countdownWindows().isEmpty());
        env.reset();
    }

    void theWindowAsDesigned()
    {
        startProgram();
        const QPointer<TfrmAutoRun> countdown = theCountdown();
        QVERIFY(countdown);
        QVERIFY(countdown->isVisible());
        QCOMPARE(countdown->windowTitle(), QStringLiteral("Auto Run Back Up Sequence"));
        const Qt::WindowFlags flags = countdown->windowFlags();
        QVERIFY(flags & Qt::WindowStaysOnTopHint);
        QVERIFY(!(flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(countdown->findChild<QLabel*>("lblStartsIn")->text(),
                 QStringLiteral("Back up sequence will start in "));
        QCOMPARE(countdown->findChild<QLabel*>("lblSeconds")->text(), QStringLiteral("seconds"));
        auto* lblTime = countdown->findChild<QLabel*>("lblTime");
        QCOMPARE(lblTime->text(), QStringLiteral("30"));
        QVERIFY(lblTime->font().bold());
        auto* ok = countdown->findChild<QPushButton*>("btnOK");
        auto* cancel = countdown->findChild<QPushButton*>("btnCancel");
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(ok->toolTip(), QStringLiteral("Immediately starts back up sequence."));
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(cancel->toolTip(), QStringLiteral("Cancels automatic start of back up sequence."));
        QCOMPARE(countdown->countdown().countDownTimer().interval(), 1000);
        QVERIFY(countdown->countdown().countDownTimer().isActive());
        QVERIFY(!runSequenceNow());
    }

    void countingToZeroStartsOneSequence()
    {
        startProgram();
        const QPointer<TfrmAutoRun> countdown = theCountdown();
        auto* lblTime = countdown->findChild<QLabel*>("lblTime");
        seconds(1);
        QCOMPARE(lblTime->text(), QStringLiteral("29"));
        seconds(28);
        QCOMPARE(lblTime->text(), QStringLiteral("1"));
        QCOMPARE(sequencesRun(), 0);
        QVERIFY(!runSequenceNow());

        seconds(1);
        QCOMPARE(sequencesRun(), 1);
        QVERIFY(
            window->summaryPage->memStatus->toPlainText().contains(QLatin1String(SequenceFailed)));
        QVERIFY(runSequenceNow());
        QVERIFY(window->summaryPage->btnRunBackUp->isEnabled());
        QTRY_VERIFY(released(countdown));
        seconds(120);
        QCOMPARE(sequencesRun(), 1);
    }

    void okStartsAtOnce()
    {
        startProgram();
        const QPointer<TfrmAutoRun> countdown = theCountdown();
        seconds(3);
        QTest::mouseClick(countdown->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
        QCOMPARE(sequencesRun(), 1);
        QVERIFY(runSequenceNow());
        QTRY_VERIFY(released(countdown));
        seconds(60);
        QCOMPARE(sequencesRun(), 1);
    }

    void cancelAnsweredNoKeepsCounting()
    {
        startProgram();
        const QPointer<TfrmAutoRun> countdown = theCountdown();
        auto* lblTime = countdown->findChild<QLabel*>("lblTime");
        seconds(10);
        env->prompt.queueAnswer(Prompt::Answer::No);
        // The user takes five seconds to answer; the countdown goes on meanwhile.
        env->prompt.whileNextQuestionIsOpen([this] { seconds(5); });
        QTest::mouseClick(countdown->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        QCOMPARE(env->prompt.questions(), QStringList{"Cancel back up sequence?"});
        QCOMPARE(lblTime->text(), QStringLiteral("15"));
        QVERIFY(!released(countdown));
        QVERIFY(!runSequenceNow());
        seconds(14);
        QCOMPARE(sequencesRun(), 0);
        seconds(1);
        QCOMPARE(sequencesRun(), 1);
        QVERIFY(runSequenceNow());
        QTRY_VERIFY(released(countdown));
    }

    void cancelAnsweredYesStartsNothing()
    {
        startProgram();
        const QPointer<TfrmAutoRun> countdown = theCountdown();
        seconds(28);
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        env->prompt.whileNextQuestionIsOpen([this] { seconds(1); });
        QTest::mouseClick(countdown->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        QTRY_VERIFY(released(countdown));
        QVERIFY(!runSequenceNow());
        seconds(120);
        QCOMPARE(sequencesRun(), 0);
    }

    void zeroReachedWhileTheCancelQuestionIsOpen()
    {
        startProgram();
        const QPointer<TfrmAutoRun> countdown = theCountdown();
        seconds(25);
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        bool keptWhileOpen = false;
        env->prompt.whileNextQuestionIsOpen([&] {
            seconds(5);
            // The question's handler is still to return into the window.
            keptWhileOpen = !released(countdown);
        });
        QTest::mouseClick(countdown->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        QVERIFY(keptWhileOpen);
        QCOMPARE(sequencesRun(), 1);
        // The late Yes no longer cancels anything: the sequence did start.
        QVERIFY(runSequenceNow());
        QTRY_VERIFY(released(countdown));
        seconds(60);
        QCOMPARE(sequencesRun(), 1);
    }

    void closedWithoutTheButtonsEndsTheCountdown()
    {
        {
            // Closed by the desktop: no sequence, and no question that could hold up the
            // end of the program.
            startProgram();
            const QPointer<TfrmAutoRun> countdown = theCountdown();
            seconds(5);
            QVERIFY(countdown->close());
            QTRY_VERIFY(released(countdown));
            QVERIFY(env->prompt.questions().isEmpty());
            seconds(60);
            QCOMPARE(sequencesRun(), 0);
            QVERIFY(!runSequenceNow());
        }
        {
            // The main window takes its countdown with it.
            startProgram();
            const QPointer<TfrmAutoRun> countdown = theCountdown();
            QVERIFY(countdown);
            window.reset();
            QVERIFY(countdown.isNull());
            seconds(60);
            QCOMPARE(sequencesRun(), 0);
        }
    }

    void startUpShowsTheCountdownOnlyWhenChosen()
    {
        startProgram(false);
        QVERIFY(countdownWindows().isEmpty());
        // Every start clears what a countdown of an earlier run stored.
        QVERIFY(!runSequenceNow());
        seconds(60);
        QCOMPARE(sequencesRun(), 0);
        window.reset();

        // A start by the user, with no autostart entry, counts down all the same.
        QVERIFY(!env->autostart.present);
        startProgram(true);
        QCOMPARE(countdownWindows().size(), 1);
    }

    void minimisedOnlyAfterTheCountdownIsShown()
    {
        TQuayRegistryObject().WriteStartMinimised(true);
        // Sees the main window's state at the moment the countdown is shown.
        struct ShowWatcher : QObject
        {
            int shown = 0;
            bool mainWindowMinimised = true;
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::Show && qobject_cast<TfrmAutoRun*>(watched)) {
                    ++shown;
                    for (QWidget* widget : QApplication::topLevelWidgets()) {
                        if (widget->objectName() == QLatin1String("frmKestrelClientMain"))
                            mainWindowMinimised = widget->windowState() & Qt::WindowMinimized;
                    }
                }
                return false;
            }
        } watcher;
        qApp->installEventFilter(&watcher);
        startProgram();
        qApp->removeEventFilter(&watcher);
        QCOMPARE(watcher.shown, 1);
        QVERIFY(!watcher.mainWindowMinimised);
        QVERIFY(window->windowState() & Qt::WindowMinimized);
        window->show();
        const QPointer<TfrmAutoRun> countdown = theCountdown();
        // No owner: a window manager would minimise an owned window along with its owner.
        QVERIFY(!countdown->parentWidget());
        QVERIFY(countdown->isVisible());
        QVERIFY(!(countdown->windowState() & Qt::WindowMinimized));
    }
};

QTEST_MAIN(TestAutoRun)
#include "tst_autorun.moc"
