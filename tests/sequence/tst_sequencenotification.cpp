#include "sequence/SequenceEndNotice.h"
#include "sequence/SequenceTestFixture.h"
#include "support/SmtpSink.h"

#include <QTest>

// The desktop notification at the end of a sequence: what it says after a success, a
// failure and a sequence that left files out; that a cancelled sequence and one whose
// window is in front get none; and that a sequence gets at most one.
class TestSequenceNotification : public QObject
{
    Q_OBJECT

private:
    static QString notice(const QString& summary, const QString& body)
    {
        return QStringLiteral("notify \"%1\" \"%2\"").arg(summary, body);
    }
    static QString completed(const QString& body)
    {
        return notice(QStringLiteral("KestrelSolo: back up complete"), body);
    }
    static QString failed(const QString& body)
    {
        return notice(QStringLiteral("KestrelSolo: back up failed"), body);
    }
    static const QString ConnectionFailure;

private Q_SLOTS:
    // Through a real SMTP server: the files and bytes are what it accepted, the
    // mailed log not counted.
    void successTellsWhatWasSent()
    {
        SequenceFixture f;
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), f.env.path(QStringLiteral("sink/")),
                      {});
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        storeLoopbackMailSettings(sink.port());
        f.listFiles({f.dataFile(QStringLiteral("a.bin"), SequenceFixture::noise(3000)),
                     f.dataFile(QStringLiteral("b.bin"), SequenceFixture::noise(4000))});

        f.sequence.RunBackUpSequence();
        QVERIFY(QFile::exists(sink.messagePath(3))); // the two files and the log
        const TQuayRegistryObject store;
        const double bytes = store.ReadNumberOfBytesBackedUp();
        QVERIFY2(bytes > 7000 && bytes < 8000, qPrintable(QString::number(bytes)));
        QCOMPARE(f.env.notifications.calls(),
                 QStringList{completed(
                     QStringLiteral("2 files backed up, %1 bytes sent.").arg(qint64(bytes)))});

        // Nothing changed: only the log goes out, and nothing was due.
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.env.notifications.calls().size(), 2);
        QCOMPARE(f.env.notifications.calls().last(),
                 completed(QStringLiteral("Nothing needed backing up.")));
    }

    void byteLimitIsTold()
    {
        SequenceFixture f;
        QStringList files;
        for (const char* name : {"one.bin", "two.bin", "three.bin"})
            files << f.dataFile(QString::fromLatin1(name), SequenceFixture::noise(3000));
        f.listFiles(files);
        TQuayRegistryObject().WriteMaxNumberOfBytesToBackedUp(5000.0);

        f.sequence.RunBackUpSequence();
        const qint64 bytes = qint64(TQuayRegistryObject().ReadNumberOfBytesBackedUp());
        QCOMPARE(f.env.notifications.calls(),
                 QStringList{completed(
                     QStringLiteral("2 files backed up, %1 bytes sent.  The maximum number of "
                                    "bytes for one sequence was reached; the rest is backed up "
                                    "in the next sequence.")
                         .arg(bytes))});
    }

    void failureTellsTheMemosReason()
    {
        SequenceFixture f;
        f.listFiles({f.dataFile(QStringLiteral("a.txt"), "refused")});
        f.server.dropAfterDataBytes(50);

        f.sequence.RunBackUpSequence();
        QVERIFY(f.window.history.contains(ConnectionFailure));
        QCOMPARE(f.env.notifications.calls(), QStringList{failed(ConnectionFailure)});
    }

    void filesLeftOutAreTold()
    {
        SequenceFixture f;
        const QString big = f.dataFile(QStringLiteral("big.bin"), SequenceFixture::noise(5000));
        const QString small = f.dataFile(QStringLiteral("small.txt"), "fits");
        f.listFiles({big, small});
        // Refused whole, and then in parts.
        f.server.script(".", "552 5.3.4 Message too big\r\n");
        f.server.script(".", "552 5.3.4 Message too big\r\n");

        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(2, 1), QStringList{small});
        QCOMPARE(f.env.notifications.calls(),
                 QStringList{notice(QStringLiteral("KestrelSolo: back up incomplete"),
                                    QStringLiteral("Back up sequence completed, but 1 file or "
                                                   "folder could not be backed up."))});
    }

    // Cancel ends the sequence at once and the driver ends it again: the user is at
    // the window, so neither end tells the desktop.
    void cancelledSequenceTellsNothing()
    {
        SequenceFixture f;
        f.listFiles({f.dataFile(QStringLiteral("a.txt"), "first"),
                     f.dataFile(QStringLiteral("b.txt"), "second")});
        f.clock.onPause = [&f] {
            f.completion.CancelSequence();
        };

        f.sequence.RunBackUpSequence();
        // Both ends read as stopped, not failed.
        QCOMPARE(f.window.history.count(ConnectionFailure), 0);
        QCOMPARE(f.window.history.filter(QStringLiteral("Sequence stopped by User at: ")).size(),
                 2);
        QCOMPARE(f.env.notifications.calls(), QStringList());
    }

    void windowInFrontTellsNothing()
    {
        SequenceFixture f;
        f.listFiles({f.dataFile(QStringLiteral("a.txt"), "first")});
        f.window.inFront = true;
        f.sequence.RunBackUpSequence();
        f.server.script(".", "554 refused\r\n");
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.env.notifications.calls(), QStringList());

        // The window is asked at the end, not at the start.
        f.window.inFront = false;
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.env.notifications.calls().size(), 1);
    }

    // However many ends a sequence reaches, the first one alone is told; the next
    // sequence is told again.
    void oneNotificationPerSequence()
    {
        TestEnvironment env;
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        completion.setDriverRunning(true);
        completion.EndSequenceFailed();
        completion.setSentThisSequence(1, 10.0, false);
        completion.EndSequenceSucceeded();
        completion.EndSequenceFailed();
        completion.setDriverRunning(false);
        QCOMPARE(env.notifications.calls(), QStringList{failed(ConnectionFailure)});

        completion.setDriverRunning(true);
        completion.EndSequenceSucceeded();
        completion.setDriverRunning(false);
        QCOMPARE(env.notifications.calls().size(), 2);
        QCOMPARE(env.notifications.calls().last(),
                 completed(QStringLiteral("Nothing needed backing up.")));
    }

    void textsOfTheNotice_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("body");
        QTest::newRow("one file") << 1 << 999999.0 << "1 file backed up, 999999 bytes sent.";
        // Past a megabyte in the Summary page's unit, every byte still shown.
        QTest::newRow("megabytes") << 12 << 2500123.0 << "12 files backed up, 2.500123 MB sent.";
        QTest::newRow("past 2 GB") << 3000 << 3000000000.0 << "3000 files backed up, 3000 MB sent.";
    }

    void textsOfTheNotice()
    {
        QFETCH(int, files);
        QFETCH(double, bytes);
        QFETCH(QString, body);
        const TestEnvironment env(QStringLiteral("KestrelClient"));
        const SequenceEndNotice notice = SequenceEndNotice::succeeded(files, bytes, false);
        QCOMPARE(notice.summary, QStringLiteral("KestrelClient: back up complete"));
        QCOMPARE(notice.body, body);
    }
};

const QString TestSequenceNotification::ConnectionFailure =
    QStringLiteral("Back up sequence failed to complete.  Please check your connection.");

QTEST_GUILESS_MAIN(TestSequenceNotification)
#include "tst_sequencenotification.moc"
