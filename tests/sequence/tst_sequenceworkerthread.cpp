#include "core/KestrelError.h"
#include "sequence/SequenceWorkerThread.h"
#include "support/TestEnvironment.h"

#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

// The worker thread hands steps over one at a time: they run off the window's
// thread, always on the same thread, the window's events keep flowing while the
// driver waits, and a step's error reaches the driver.
class TestSequenceWorkerThread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stepsRunOnOneOtherThreadWhileEventsFlow()
    {
        TestEnvironment env;
        SequenceWorkerThread worker;
        QThread* first = nullptr;
        QThread* second = nullptr;
        std::atomic<bool> released = false;
        // The step finishes only once the window's thread has handled an event posted
        // after the step began: without event processing in the wait it never would.
        QTimer::singleShot(0, this, [&released] { released = true; });
        worker.run([&] {
            first = QThread::currentThread();
            while (!released)
                QThread::yieldCurrentThread();
        });
        worker.runBlocking([&] { second = QThread::currentThread(); });
        QVERIFY(first != QThread::currentThread());
        QCOMPARE(second, first);
    }

    void errorsOfAStepReachTheCaller()
    {
        TestEnvironment env;
        SequenceWorkerThread worker;
        const auto failing = [] {
            throw KestrelError(QStringLiteral("archive missing"));
        };
        for (const bool blocking : {false, true}) {
            try {
                blocking ? worker.runBlocking(failing) : worker.run(failing);
                QFAIL("no error");
            } catch (const KestrelError& error) {
                QCOMPARE(error.message(), QStringLiteral("archive missing"));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSequenceWorkerThread)
#include "tst_sequenceworkerthread.moc"
