#include "backupdata/TernFileObject.h"
#include "core/DateTimeText.h"
#include "core/QuayRegistryObject.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceDataFile.h"
#include "sequence/SequenceState.h"
#include "support/RecordingSequenceWindow.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTest>

// The two ends of a sequence: totals, the data file, the warning after a failure and
// the actions the user asked for after a sequence.
class TestSequenceCompletion : public QObject
{
    Q_OBJECT

private:
    static QByteArray readDataFile(const QString& name)
    {
        QFile file(SequenceDataFile::folder() + QLatin1Char('/') + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The after-sequence actions a window saw, in order.
    static QStringList actions(const RecordingSequenceWindow& window)
    {
        QStringList seen;
        for (const QString& call : window.calls) {
            if (call != QLatin1String("refreshFromSettings") &&
                call != QLatin1String("loadLogIntoTree"))
                seen << call;
        }
        return seen;
    }

private Q_SLOTS:
    void dataFileIsNamedByTheStampAndHoldsTheMemo()
    {
        TestEnvironment env; // the clock stands at 07/12/2026 20:54:48
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        window.addStatusLine(QStringLiteral("Backed up version of /home/jö/ä.txt is superseded."));
        window.addStatusLine(QString());

        completion.EndSequenceFailed();
        const QString name = QStringLiteral("Sequence Data - 26-12-07 20-54-48.txt");
        QCOMPARE(TQuayRegistryObject().ReadSequenceFile(), name);
        QCOMPARE(readDataFile(name),
                 QStringLiteral("Backed up version of /home/jö/ä.txt is superseded.\r\n\r\n"
                                "Back up sequence failed to complete.  Please check your "
                                "connection.\r\n")
                     .toUtf8());

        // A second end in the same second replaces the file.
        TQuayRegistryObject().WriteBackUpSequenceSuccess(true); // as the driver's start does
        completion.EndSequenceSucceeded();
        QCOMPARE(QDir(SequenceDataFile::folder()).entryList(QDir::Files), QStringList{name});
        const QStringList lines =
            QString::fromUtf8(readDataFile(name)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(5), QStringLiteral("Last back up was successful."));
        QCOMPARE(lines.value(6), QString());
        QCOMPARE(lines.value(7), QStringLiteral("Back up sequence completed: 07/12/2026 20:54:48"));
    }

    void outcomeAndWarningFollowTheLastEnd()
    {
        TestEnvironment env;
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        const TQuayRegistryObject store;
        store.WriteBackUpSequenceSuccess(true);
        store.WriteLastBackUp(QStringLiteral("01/12/2026 10:00:00"));

        completion.EndSequenceFailed();
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 0);
        QCOMPARE(store.ReadLastBackUp(), QStringLiteral("01/12/2026 10:00:00"));
        QCOMPARE(window.colour, SequenceWindow::StatusColour::Red);
        QVERIFY(window.runEnabled);
        QVERIFY(!window.cancelEnabled);
        QCOMPARE(window.processingCaption, QStringLiteral("Processing File:"));

        // The warning is shown at the first focus only, also across a restart.
        completion.ShowSequenceMessageOnce();
        SequenceState afterRestart;
        SequenceCompletion(window, afterRestart).ShowSequenceMessageOnce();
        QCOMPARE(env.prompt.notices(),
                 QStringList{QStringLiteral("Last back up sequence failed to complete.  Please "
                                            "check your connection.")});

        // A success after a failure leaves no warning to show.
        completion.EndSequenceFailed();
        store.WriteBackUpSequenceSuccess(true); // as the driver's start does
        env.clock.advance(1000);
        completion.EndSequenceSucceeded();
        completion.ShowSequenceMessageOnce();
        QCOMPARE(env.prompt.notices().size(), 1);
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 1);
        QCOMPARE(store.ReadLastBackUp(), QStringLiteral("07/12/2026 20:54:49"));
        QCOMPARE(window.colour, SequenceWindow::StatusColour::Blue);
    }

    void afterSequenceActions_data()
    {
        QTest::addColumn<QString>("edition");
        QTest::addColumn<bool>("succeeded");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QStringList>("expectedActions");
        QTest::addColumn<int>("expectedHangUps");

        const QString solo = QStringLiteral("KestrelSolo");
        const QString drive = QStringLiteral("KestrelDrive");
        const QStringList none;
        const QStringList countdown{QStringLiteral("openShutDownCountdown")};
        const QStringList delay{QStringLiteral("startShutDownDelayTimer")};
        const QStringList terminate{QStringLiteral("terminateApplication")};
        QTest::newRow("nothing set") << solo << true << false << "" << none << 0;
        QTest::newRow("shut down after success: countdown at once")
            << solo << true << false << "ShutDown" << countdown << 1;
        QTest::newRow("shut down after failure: 30 s delay")
            << solo << false << false << "ShutDown" << delay << 0;
        QTest::newRow("shut-down trigger after success")
            << solo << true << false << "triggered" << countdown << 1;
        QTest::newRow("cancelled: no shut-down, no close")
            << solo << true << true << "ShutDown Close DialUpDisconnect" << none << 0;
        QTest::newRow("cancelled failure: stays open")
            << solo << false << true << "Close" << none << 0;
        QTest::newRow("close after success") << solo << true << false << "Close" << terminate << 0;
        QTest::newRow("close after failure") << solo << false << false << "Close" << terminate << 0;
        QTest::newRow("disconnect box") << solo << true << false << "box" << none << 1;
        QTest::newRow("DialUpDisconnect after failure")
            << solo << false << false << "DialUpDisconnect" << none << 1;
        QTest::newRow("drive edition ignores the disconnect box")
            << drive << true << false << "box DialUpDisconnect" << none << 0;
        QTest::newRow("drive edition hangs up before the countdown")
            << drive << true << false << "ShutDown" << countdown << 1;
    }

    void afterSequenceActions()
    {
        QFETCH(QString, edition);
        QFETCH(bool, succeeded);
        QFETCH(bool, cancelled);
        QFETCH(QString, settings);
        QFETCH(QStringList, expectedActions);
        QFETCH(int, expectedHangUps);
        TestEnvironment env(edition);
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        const TQuayRegistryObject store;
        store.WriteShutDown(settings.contains(QLatin1String("ShutDown")));
        store.WriteCloseApplicationAfterSequence(settings.contains(QLatin1String("Close")));
        store.WriteDialUpDisconnect(settings.contains(QLatin1String("DialUpDisconnect")));
        state.choices.disconnectAfterBackUp = settings.contains(QLatin1String("box"));
        state.ShutDownTriggered = settings.contains(QLatin1String("triggered"));
        state.SequenceCancelled = cancelled;

        if (succeeded)
            completion.EndSequenceSucceeded();
        else
            completion.EndSequenceFailed();
        QCOMPARE(actions(window), expectedActions);
        QCOMPARE(env.dialUp.calls().count(QStringLiteral("hang up")), expectedHangUps);
        if (expectedActions == QStringList{QStringLiteral("openShutDownCountdown")})
            QVERIFY(!state.ShutDownTriggered);

        // The delay's tick hangs up and opens the countdown.
        if (expectedActions == QStringList{QStringLiteral("startShutDownDelayTimer")}) {
            completion.ShutDownDelayElapsed();
            QCOMPARE(actions(window).last(), QStringLiteral("openShutDownCountdown"));
            QCOMPARE(env.dialUp.calls().count(QStringLiteral("hang up")), 1);
        }
    }

    void requestEndHangsUpAndShutsDownIfSet()
    {
        TestEnvironment env;
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        completion.HangUpAndShutDownIfSet();
        QVERIFY(env.dialUp.calls().isEmpty());
        QVERIFY(window.calls.isEmpty());

        TQuayRegistryObject().WriteDialUpDisconnect(true);
        state.ShutDownTriggered = true;
        completion.HangUpAndShutDownIfSet();
        QCOMPARE(env.dialUp.calls().count(QStringLiteral("hang up")), 2);
        QCOMPARE(window.calls, QStringList{QStringLiteral("openShutDownCountdown")});
        QVERIFY(!state.ShutDownTriggered);
    }

    void unwritableDataFileStillReturnsToIdle()
    {
        TestEnvironment env;
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        // The program folder setting names a file, so "Status Files" cannot be made.
        const QString notAFolder = env.writeFile(QStringLiteral("not-a-folder"), "x");
        TQuayRegistryObject().writeString(QStringLiteral("QuayDirectory"), notAFolder);
        window.runEnabled = false;
        window.cancelEnabled = true;

        completion.EndSequenceFailed();
        QVERIFY(window.runEnabled);
        QVERIFY(!window.cancelEnabled);
        QVERIFY(window.history.filter(QStringLiteral("Could not create the folder")).size() == 1);
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
    }

    void mediaEditionsWritePendingLinesAndNameFullMedia()
    {
        TestEnvironment env(QStringLiteral("KestrelDrive"));
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        const QString line = QStringLiteral("/home/jo/a.txt;01/12/2026 10:00:00;1 KB;"
                                            "07/12/2026 20:54:48;0");
        state.PendingLogLines = QStringList{line};
        state.MediaFull = true;

        completion.EndSequenceFailed();
        QCOMPARE(TQuayRegistryObject().ReadSequenceMessage(),
                 QStringLiteral("Last back up sequence failed to complete.  Your media is full."));
        QVERIFY(window.history.contains(
            QStringLiteral("Back up sequence failed to complete.  Please check your media.")));
        QVERIFY(state.PendingLogLines.isEmpty());
        QFile log(TQuayRegistryObject().ReadLogFile());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), (line + QStringLiteral("\r\n")).toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestSequenceCompletion)
#include "tst_sequencecompletion.moc"
