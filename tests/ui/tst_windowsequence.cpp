#include "core/ClockTimer.h"
#include "core/QuayRegistryObject.h"
#include "core/SettingsDatabase.h"
#include "support/LoopbackMailSettings.h"
#include "support/MailedArchive.h"
#include "support/ProgramRun.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "ui/FileSelectionPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/SummaryPage.h"
#include "ui/UserSettingsPage.h"
#include "ui/frmKestrelClientMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <memory>

// Whole backup sequences driven through the real main window: lists chosen with the
// pages' browse routines, "Run Back Up Now" clicked, mail delivered to a real SMTP
// server on loopback and read back with Python's email package and 7-Zip.
class TestWindowSequence : public QObject
{
    Q_OBJECT

private:
    static constexpr auto ZipPassword = "zip secret";
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SmtpSink> sink;
    std::unique_ptr<TfrmKestrelClientMain> window;
    QStringList files;
    int received = 0;

    // Subjects and attachment bytes of the messages that arrived since the last call.
    struct Arrival
    {
        QString subject;
        QByteArray content;
    };

    QList<Arrival> newArrivals()
    {
        QList<Arrival> arrivals;
        while (QFile::exists(sink->messagePath(received + 1))) {
            ++received;
            const MailedArchive mailed = MailedArchive::read(
                sink->messagePath(received), env->path(QStringLiteral("mailed-%1").arg(received)),
                QLatin1String(ZipPassword));
            const Arrival arrival{mailed.subject, mailed.content};
            arrivals << arrival;
        }
        return arrivals;
    }

    static QStringList subjectsOf(const QList<Arrival>& arrivals)
    {
        QStringList subjects;
        for (const Arrival& arrival : arrivals)
            subjects << arrival.subject;
        return subjects;
    }

    static QByteArray logBytes()
    {
        QFile log(TQuayRegistryObject().ReadLogFile());
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    static int logLines()
    {
        QFile log(TQuayRegistryObject().ReadLogFile());
        return log.open(QIODevice::ReadOnly) ? int(log.readAll().count('\n')) : -1;
    }

    void run()
    {
        QTest::mouseClick(window->summaryPage->btnRunBackUp, Qt::LeftButton);
        QVERIFY(window->summaryPage->btnRunBackUp->isEnabled());
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        const QString mail = env->path(QStringLiteral("mail/"));
        QDir().mkpath(mail);
        sink = std::make_unique<SmtpSink>(QStringLiteral(KESTREL_TEST_SCRIPTS), mail,
                                          SmtpSink::Options{});
        QVERIFY2(sink->port() != 0, qPrintable(sink->errorText()));
        received = 0;
        const TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        storeLoopbackMailSettings(sink->port(), {QStringLiteral("ann"), QStringLiteral("pw"),
                                                 QStringLiteral("backup@example.org"),
                                                 QLatin1String(ZipPassword)});
        store.WriteBackUpSubFolders(true);
        store.WriteMaxNumberOfBytesToBackedUp(100e6);

        files = {env->writeFile(QStringLiteral("data/a.txt"), QByteArray(3000, 'a')),
                 env->writeFile(QStringLiteral("data/b;odd name.txt"), "second file"),
                 env->writeFile(QStringLiteral("data/tree/x.txt"), "in the folder"),
                 env->writeFile(QStringLiteral("data/tree/sub/y.txt"), "in a sub-folder")};
        window = std::make_unique<TfrmKestrelClientMain>();
        window->show();
        // Activation refreshes every field from the store; let it happen before the test types.
        QApplication::setActiveWindow(window.get());
        QTRY_VERIFY(window->isActiveWindow());
        // One choice of two files in the dialog.
        env->prompt.queueFiles(files.mid(0, 2));
        window->fileSelectionPage->browse();
        env->prompt.queueText(env->root() + QStringLiteral("/data/tree"));
        window->folderSelectionPage->browse();
    }

    void cleanup()
    {
        QVERIFY(env->prompt.unexpected().isEmpty());
        window.reset();
        sink.reset();
        env.reset();
    }

    void incrementalSequencesFromTheWindow()
    {
        const TQuayRegistryObject store;
        run();
        const QList<Arrival> first = newArrivals();
        QCOMPARE(first.size(), 5);
        for (int i = 0; i < 4; ++i) {
            QVERIFY2(first.at(i).subject.endsWith(QLatin1Char('#') + files.at(i)),
                     qPrintable(first.at(i).subject));
            QFile source(files.at(i));
            QVERIFY(source.open(QIODevice::ReadOnly));
            QCOMPARE(first.at(i).content, source.readAll());
        }
        QVERIFY(first.last().subject.endsWith(QStringLiteral("/Log.Txt")));
        QCOMPARE(logLines(), 4);
        // The log was packed ahead while it was still empty; the mailed log is the
        // one with this run's records.
        QCOMPARE(first.last().content, logBytes());
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 1);
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 4);
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QVERIFY(!store.ReadLastBackUp().isEmpty());
        QCOMPARE(window->summaryPage->edbLastBackUp->text(), store.ReadLastBackUp());
        QFile dataFile(store.ReadQuayDirectory() + QStringLiteral("/Status Files/") +
                       store.ReadSequenceFile());
        QVERIFY(dataFile.open(QIODevice::ReadOnly));
        const QByteArray data = dataFile.readAll();
        QVERIFY(data.startsWith("Last back up date: " + store.ReadLastBackUp().toUtf8() + "\r\n"));
        QVERIFY(data.contains("Total number of backed up runs: 1\r\n"));
        QVERIFY(data.contains("Back up sequence completed: "));
        QCOMPARE(window->summaryPage->edbTotalNumberOfBackUpSequences->text(), QStringLiteral("1"));

        // Nothing changed: only the log goes out again, as it is.
        run();
        const QList<Arrival> second = newArrivals();
        QCOMPARE(second.size(), 1);
        QCOMPARE(logLines(), 4);
        QCOMPARE(second.first().content, logBytes());

        // A touched file goes out alone, before the log.
        QFile touched(files.at(2));
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                    QFileDevice::FileModificationTime));
        touched.close();
        run();
        const QList<Arrival> thirdArrivals = newArrivals();
        const QStringList third = subjectsOf(thirdArrivals);
        QCOMPARE(third.size(), 2);
        QVERIFY(third.first().endsWith(files.at(2)));
        QCOMPARE(logLines(), 5);
        QCOMPARE(thirdArrivals.last().content, logBytes());
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 3);
    }

    void fullBackUpSendsEverything()
    {
        run();
        QCOMPARE(newArrivals().size(), 5);
        window->summaryPage->rdbFullBackUp->setChecked(true);
        run();
        QCOMPARE(newArrivals().size(), 5);
        QCOMPARE(logLines(), 8);
        QVERIFY(window->summaryPage->statusText().endsWith(
            QStringLiteral("Last back up was successful.")));
    }

    void runWaitsUntilTheCancelledSequenceHasStopped()
    {
        QPushButton* runButton = window->summaryPage->btnRunBackUp;
        QPushButton* cancelButton = window->summaryPage->btnBackUpSequenceCancel;
        bool running = false;
        bool runEnabled = true;
        // Cancel is clicked at the sequence's first pause for the window's events.
        QTimer::singleShot(0, window.get(), [&] {
            QVERIFY(cancelButton->isEnabled());
            QTest::mouseClick(cancelButton, Qt::LeftButton);
            running = window->SequenceRunning();
            runEnabled = runButton->isEnabled();
        });
        QTest::mouseClick(runButton, Qt::LeftButton);
        QVERIFY(running);
        // A click while the sequence stops would do nothing, so the button waits.
        QVERIFY(!runEnabled);
        QVERIFY(runButton->isEnabled());
        QVERIFY(!cancelButton->isEnabled());
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());

        // Then a click runs the next sequence.
        run();
        QCOMPARE(newArrivals().size(), 5);
        QVERIFY(TQuayRegistryObject().ReadBackUpSequenceSuccess());
    }

    // Cancel in the pause after the first file: nothing more is packed or mailed, not
    // even when the log tree reloads meanwhile, no warning resumes anything, and the
    // files not reached stay due.
    void cancelStopsTheRunForGood()
    {
        const TQuayRegistryObject store;
        window->summaryPage->rdbFullBackUp->setChecked(true);
        const std::unique_ptr<ClockTimer> cancelSoon = env->clock.createTimer(1000, [&] {
            QTest::mouseClick(window->summaryPage->btnBackUpSequenceCancel, Qt::LeftButton);
            window->LoadLogIntoTree(store.ReadLogFile());
        });
        cancelSoon->start();
        run();
        cancelSoon->stop();
        QCOMPARE(newArrivals().size(), 1);
        QCOMPARE(logLines(), 1);
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadSequenceMessage(), QString());
        const QString memo = window->summaryPage->statusText();
        QVERIFY2(memo.contains(QStringLiteral("Last back up was cancelled before it completed.")),
                 qPrintable(memo));
        QVERIFY(memo.contains(QStringLiteral("Sequence stopped by User at: ")));
        QVERIFY(!memo.contains(QStringLiteral("failed")));
        QVERIFY(env->prompt.notices().isEmpty());

        window->summaryPage->rdbIncrementalBackUp->setChecked(true);
        run();
        QCOMPARE(newArrivals().size(), 4);
        QCOMPARE(logLines(), 4);
        QVERIFY(store.ReadBackUpSequenceSuccess());
    }

    // The file-manager helper, sqlite3 and a run without a window use the settings
    // while the window is open: the window's next run still reads and keeps them.
    void otherProcessesShareTheSettings()
    {
        const TQuayRegistryObject store;
        run();
        QCOMPARE(newArrivals().size(), 5);
        const QString added = env->writeFile(QStringLiteral("data/added.txt"), "from outside");
        QProcess helper;
        helper.start(QStringLiteral(KESTREL_BINARY_DIR "/src/app/kestrelsolo-add"), {added});
        QVERIFY(helper.waitForFinished(60000));
        QCOMPARE(helper.exitCode(), 0);
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"),
                     {SettingsDatabase::defaultPath(),
                      QStringLiteral("SELECT count(*) FROM registry_values;")});
        QVERIFY(sqlite.waitForFinished(10000));
        QCOMPARE(sqlite.exitCode(), 0);
        const ProgramRun headless = ProgramRun::run({QStringLiteral("--run")});
        QVERIFY2(headless.exitCode == 0, qPrintable(headless.out + headless.errors));
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 2);
        newArrivals();

        run();
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 3);
        QVERIFY(!window->summaryPage->statusText().contains(
            QStringLiteral("Not all Internet fields are complete.")));
        // The journal this process has open is still the one on disk.
        const QDir descriptors(QStringLiteral("/proc/self/fd"));
        for (const QFileInfo& link : descriptors.entryInfoList(QDir::System | QDir::Files))
            QVERIFY2(!link.symLinkTarget().endsWith(QStringLiteral(" (deleted)")) ||
                         !link.symLinkTarget().contains(QStringLiteral("registry")),
                     qPrintable(link.symLinkTarget()));
        QVERIFY(QFile::exists(SettingsDatabase::defaultPath() + QStringLiteral("-wal")));
    }

    void byteLimitStopsAfterTheCrossingFile()
    {
        // One byte: the first archive crosses the limit; it is sent and counted, no
        // further file is examined, the log is not mailed, and the sequence succeeds.
        window->userSettingsPage->edbMaxNumberOfBytes->setText(QStringLiteral("0.000001"));
        run();
        const QStringList sent = subjectsOf(newArrivals());
        QCOMPARE(sent.size(), 1);
        QVERIFY(sent.first().endsWith(files.at(0)));
        QCOMPARE(logLines(), 1);
        const TQuayRegistryObject store;
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 1);
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), 1.0);
    }

    // The window in front shows the end itself; minimised, the desktop is told.
    void desktopIsToldOnlyWhileTheWindowIsNotInFront()
    {
        run();
        QCOMPARE(newArrivals().size(), 5);
        QCOMPARE(env->notifications.calls(), QStringList());

        window->showMinimized();
        window->RunBackUpSequence();
        QCOMPARE(newArrivals().size(), 1);
        QCOMPARE(env->notifications.calls(),
                 QStringList{QStringLiteral("notify \"KestrelSolo: back up complete\" \"Nothing "
                                            "needed backing up.\"")});
    }
};

QTEST_MAIN(TestWindowSequence)
#include "tst_windowsequence.moc"
