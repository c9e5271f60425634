#include "core/DateTimeText.h"
#include "core/KestrelError.h"
#include "core/TransferEstimate.h"
#include "sequence/FolderWalk.h"
#include "sequence/SequenceDataFile.h"
#include "sequence/SequenceTestFixture.h"

#include <QTcpServer>
#include <QTest>

using Action = ScriptedSmtpServer::Action;

// Whole sequences against a scripted SMTP server on loopback: what is mailed, what
// the log records, how the sequence ends and what the next run does.
class TestBackUpSequence : public QObject
{
    Q_OBJECT

private:
    static const QString Completed;
    static const QString Failed;

    static void touchLater(const QString& path, int seconds)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
        QVERIFY(file.setFileTime(modified.addSecs(seconds), QFileDevice::FileModificationTime));
    }

private Q_SLOTS:
    void incrementalRunsSendOnlyWhatChanged()
    {
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first file");
        const QString b = f.dataFile(QStringLiteral("b.doc"), "second file");
        const QString c = f.dataFile(QStringLiteral("tree/c.txt"), "in the tree");
        const QString d = f.dataFile(QStringLiteral("tree/sub/deeper/d.txt"), "further down");
        f.dataFile(QStringLiteral("tree/.hidden"), "never backed up");
        f.listFiles({a, b});
        // Listed twice and with a descendant: each folder is still walked once.
        const QString tree = QFileInfo(c).absolutePath();
        f.listFolders({tree, tree + QStringLiteral("/sub"), tree});
        f.window.subFolders = true;
        const QString logFile = TQuayRegistryObject().ReadLogFile();

        QString totalShown;
        int progressMaximum = 0;
        f.clock.onPause = [&] {
            totalShown = f.window.numberOfFiles;
            progressMaximum = f.window.progressMaximum;
        };
        f.sequence.RunBackUpSequence();
        QCOMPARE(totalShown, QStringLiteral("4"));
        QCOMPARE(progressMaximum, 4);
        QCOMPARE(f.mailedPaths(), (QStringList{a, b, c, d, logFile}));
        QVERIFY(f.subjects().first().startsWith(QStringLiteral("KestrelSolo Save#")));
        QCOMPARE(f.loggedPaths(), (QStringList{a, b, c, d}));
        QCOMPARE(f.pauses(), 4);
        // The files take no time on the test's clock, their pauses 2 s each: the time
        // left is the pauses still to come.
        QCOMPARE(f.window.transferTexts,
                 (QStringList{QString(), "10 bytes of 44 bytes sent, about 6 s left",
                              "21 bytes of 44 bytes sent, about 4 s left",
                              "32 bytes of 44 bytes sent, about 2 s left",
                              "44 bytes of 44 bytes sent", QString()}));
        QVERIFY(f.server.waitFor("quit"));
        QVERIFY(f.zipFolderEntries().isEmpty());
        QCOMPARE(f.window.numberOfFiles, QString()); // emptied at the end
        QVERIFY(f.window.calls.contains(QStringLiteral("loadLogIntoTree")));
        QVERIFY(f.window.runEnabled);
        QVERIFY(!f.window.cancelEnabled);
        QCOMPARE(f.window.progressPosition, 0);

        const TQuayRegistryObject store;
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 1);
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 4);
        QCOMPARE(store.ReadLastBackUp(), dateTimeText(f.clock.now()));
        QVERIFY(store.ReadLastBackUpLogFileName().endsWith(QStringLiteral("#Log")));
        QVERIFY(store.ReadNumberOfBytesBackedUp() > 0.0);

        // The data file holds the refreshed summary and the completion line.
        QCOMPARE(f.statusFiles(), QStringList{store.ReadSequenceFile()});
        QFile data(SequenceDataFile::folder() + QLatin1Char('/') + store.ReadSequenceFile());
        QVERIFY(data.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(data.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[0], QStringLiteral("Last back up date: ") + store.ReadLastBackUp());
        QCOMPARE(lines[1], QStringLiteral("Number of files in last back up: 4"));
        QCOMPARE(lines[5], QStringLiteral("Last back up was successful."));
        QVERIFY(lines[6].startsWith(Completed));

        // Nothing changed: only the log goes out.
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(5), QStringList{logFile});
        QVERIFY(f.window.history.contains(QStringLiteral("Back up copy of ") + a +
                                          QStringLiteral(" is current")));
        QVERIFY(f.window.history.contains(QStringLiteral("- no backed up required.")));
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 0);
        QCOMPARE(f.window.transferTexts.mid(6), (QStringList{QString(), QString()}));

        // A later modification makes exactly that file due.
        touchLater(c, 10);
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(6), (QStringList{c, logFile}));
        QVERIFY(f.window.history.contains(QStringLiteral("Backed up version of ") + c +
                                          QStringLiteral(" is superseded.")));

        // "Full Back Up" sends every file whatever the log says.
        f.window.type = SequenceWindow::BackUpType::Full;
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(8), (QStringList{a, b, c, d, logFile}));
        QVERIFY(f.window.history.contains(QStringLiteral("Full backed up of ") + d +
                                          QStringLiteral(" requested.")));
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 4);
        QCOMPARE(f.loggedPaths().size(), 4 + 1 + 4);
    }

    // A large file's status lines say how far packing and mailing have got; small
    // files get none.
    void largeFilesShowTheirProgress()
    {
        SequenceFixture f;
        const QString large = f.dataFile(QStringLiteral("large.bin"),
                                         f.noise(int(MailSequenceTransport::ProgressReportBytes)));
        const QString small = f.dataFile(QStringLiteral("small.txt"), "small");
        f.listFiles({small, large});
        TQuayRegistryObject().WriteMaxNumberOfBytesToBackedUp(100e6);
        f.sequence.RunBackUpSequence();
        QVERIFY2(TQuayRegistryObject().ReadBackUpSequenceSuccess(),
                 qPrintable(f.window.history.join(u'\n')));
        QCOMPARE(f.mailedPaths(), (QStringList{small, large, TQuayRegistryObject().ReadLogFile()}));
        const QString tenths = QStringLiteral(": 10% 20% 30% 40% 50% 60% 70% 80% 90% 100%");
        QCOMPARE(f.window.history.filter(QStringLiteral("Packing ")),
                 QStringList{QStringLiteral("Packing ") + large + tenths});
        QCOMPARE(f.window.history.filter(QStringLiteral("Sending ")),
                 QStringList{QStringLiteral("Sending ") + large + tenths});
    }

    void emptyListsStillMailTheLog()
    {
        SequenceFixture f;
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths(), QStringList{TQuayRegistryObject().ReadLogFile()});
        QVERIFY(TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QCOMPARE(TQuayRegistryObject().ReadNumberOfFilesInLastSequence(), 0);
    }

    void connectionProblems_data()
    {
        QTest::addColumn<bool>("settingsComplete");
        QTest::addColumn<bool>("dials");
        QTest::addColumn<bool>("alternativeWorks");
        QTest::addColumn<QStringList>("expectedNotices");
        QTest::addColumn<QString>("expectedLine");
        QTest::addColumn<bool>("sends");
        const QString automatic = QStringLiteral("Connection could not be established "
                                                 "automatically.  Trying alternative connection "
                                                 "method.");
        QTest::newRow("settings incomplete")
            << false << true << true
            << QStringList{QStringLiteral("Not all Internet fields are complete.")}
            << QStringLiteral("Could not establish connection with SMTP server.") << false;
        QTest::newRow("dial fails, alternative works")
            << true << false << true << QStringList{automatic}
            << QStringLiteral("Connecting to server...") << true;
        QTest::newRow("dial and alternative fail")
            << true << false << false
            << QStringList{automatic, QStringLiteral("Connection not established.")}
            << QStringLiteral("Connection not established.  Back up sequence cancelled.") << false;
    }

    void connectionProblems()
    {
        QFETCH(bool, settingsComplete);
        QFETCH(bool, dials);
        QFETCH(bool, alternativeWorks);
        QFETCH(QStringList, expectedNotices);
        QFETCH(QString, expectedLine);
        QFETCH(bool, sends);
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first");
        f.listFiles({a});
        if (!settingsComplete)
            TQuayRegistryObject().WriteUserSMPTName(QString());
        f.env.dialUp.dialResult = dials;
        f.env.dialUp.attemptResult = alternativeWorks;

        f.sequence.RunBackUpSequence();
        QCOMPARE(f.env.prompt.notices(), expectedNotices);
        QVERIFY(f.window.history.contains(expectedLine));
        QStringList expectedMail;
        if (sends)
            expectedMail << a << TQuayRegistryObject().ReadLogFile();
        QCOMPARE(f.mailedPaths(), expectedMail);
        QCOMPARE(TQuayRegistryObject().ReadBackUpSequenceSuccess(), sends);
        // A connection failure counts as cancelled: no after-sequence actions.
        QVERIFY(f.state.SequenceCancelled != sends);
    }

    void reportLinesForMissingFilesAndAStoppedFolder()
    {
        SequenceFixture f;
        const QString gone = f.dataFile(QStringLiteral("gone.txt"), "soon deleted");
        const QString never = f.env.path(QStringLiteral("data/never.txt"));
        const QString one = f.dataFile(QStringLiteral("first/one.txt"), "one");
        const QString two = f.dataFile(QStringLiteral("first/two.txt"), "two");
        const QString three = f.dataFile(QStringLiteral("second/three.txt"), "three");
        f.listFiles({gone});
        f.sequence.RunBackUpSequence();
        QVERIFY(QFile::remove(gone));

        f.listFiles({gone, never});
        f.listFolders({QFileInfo(one).absolutePath(), QFileInfo(three).absolutePath()});
        f.server.script(".", "554 refused\r\n");
        f.window.history.clear();
        f.sequence.RunBackUpSequence();
        const QStringList expected{
            gone + QStringLiteral(" no longer exists."),
            QStringLiteral("- no backed up required."),
            QString(),
            never + QStringLiteral(" no longer exists."),
            QStringLiteral("- latest file backed up."),
            QString(),
        };
        const qsizetype start = f.window.history.indexOf(expected.first());
        QVERIFY(start >= 0);
        QCOMPARE(f.window.history.mid(start, expected.size()), expected);
        // The failure inside the first folder: its other file is still reported, as due
        // but not sent; the second folder is skipped. Neither file is told as backed up.
        QVERIFY(f.window.history.contains(QStringLiteral("Could not send back up file.")));
        for (const QString& path : {one, two}) {
            const qsizetype report =
                f.window.history.indexOf(path + QStringLiteral(" was not backed up."));
            QVERIFY2(report >= 0, qPrintable(path));
            QCOMPARE(f.window.history.value(report + 1), BackUpSequence::NotBackedUpLine);
        }
        QVERIFY(!f.window.history.contains(QStringLiteral("Backed up version of ") + one +
                                           QStringLiteral(" is superseded.")));
        QVERIFY(f.window.history.filter(three).isEmpty());
    }

    void byteLimitStopsAfterTheCrossingFile()
    {
        SequenceFixture f;
        QStringList files;
        for (const char* name : {"one.bin", "two.bin", "three.bin"})
            files << f.dataFile(QString::fromLatin1(name), SequenceFixture::noise(3000));
        f.listFiles(files);
        TQuayRegistryObject().WriteMaxNumberOfBytesToBackedUp(5000.0);

        f.sequence.RunBackUpSequence();
        // The second archive crosses the limit and is still sent; the log is not mailed.
        QCOMPARE(f.mailedPaths(), files.mid(0, 2));
        QCOMPARE(f.loggedPaths(), files.mid(0, 2));
        QVERIFY(f.window.history.contains(QStringLiteral(
            "Number of bytes emailed has reached the maximum number of bytes allowed to be "
            "emailed in one sequence.  The back up sequence has been terminated.")));
        const TQuayRegistryObject store;
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 1);
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 2);
        // The third file waits for the next run.
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(2, 1), files.mid(2, 1));
    }

    void failuresEndTheSequenceAndKeepTheArchive_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("advice");
        const QString notSent = QStringLiteral("Could not send back up file.");
        // "Check your connection" only where the server did not answer.
        const QString connection = QStringLiteral("Please check your connection.");
        const QString refused =
            QStringLiteral("The SMTP server refused a message; the lines above say why.");
        QTest::newRow("greeting refused")
            << "greeting" << QStringLiteral("Could not establish connection with SMTP server.")
            << QStringLiteral("The SMTP server turned the connection down; the lines above say "
                              "why.");
        QTest::newRow("recipient refused") << "recipient" << notSent << refused;
        QTest::newRow("Data refused") << "data" << notSent << refused;
        QTest::newRow("end of data refused") << "end" << notSent << refused;
        QTest::newRow("connection dropped in the message") << "drop" << notSent << connection;
        QTest::newRow("server stalls after the message") << "stall" << notSent << connection;
    }

    void failuresEndTheSequenceAndKeepTheArchive()
    {
        QFETCH(QString, failure);
        QFETCH(QString, line);
        QFETCH(QString, advice);
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first file");
        const QString b = f.dataFile(QStringLiteral("b.txt"), "second file");
        f.listFiles({a, b});
        if (failure == QLatin1String("greeting"))
            f.server.setGreeting("554 not today\r\n");
        else if (failure == QLatin1String("recipient"))
            f.server.script("RCPT", "550 no such mailbox\r\n");
        else if (failure == QLatin1String("data"))
            f.server.script("Data", "554 no data today\r\n");
        else if (failure == QLatin1String("end"))
            f.server.script(".", "554 refused\r\n");
        else if (failure == QLatin1String("drop"))
            f.server.dropAfterDataBytes(50);
        else if (failure == QLatin1String("stall")) {
            f.server.script(".", "", Action::Stall);
            f.replyTimeoutMs = 300;
        }

        f.sequence.RunBackUpSequence();
        QVERIFY2(f.window.history.contains(line), qPrintable(f.window.history.join('\n')));
        QVERIFY(f.window.history.contains(QStringLiteral("Back up sequence failed to complete.  ") +
                                          advice));
        QCOMPARE(f.loggedPaths(), QStringList());
        const TQuayRegistryObject store;
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QVERIFY(store.ReadSequenceMessage().startsWith(
            QStringLiteral("Last back up sequence failed to complete.  ") + advice +
            QStringLiteral("\n\n") + line));
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 0);
        QCOMPARE(f.statusFiles().size(), 1);
        QVERIFY(f.window.runEnabled);
        if (failure == QLatin1String("greeting")) {
            QVERIFY(f.zipFolderEntries().isEmpty());
            f.server.setGreeting("220 ready again\r\n");
        } else {
            // The first file's archive stays; the second file was never tried.
            QCOMPARE(f.zipFolderEntries(), QStringList{QStringLiteral("a-txt.zip")});
            QVERIFY(f.window.history.filter(b).isEmpty());
        }

        // The next incremental run sends what did not go out.
        const qsizetype before = f.mailedPaths().size();
        f.replyTimeoutMs = 5000;
        f.state.SequenceCancelled = false;
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(before),
                 (QStringList{a, b, TQuayRegistryObject().ReadLogFile()}));
        QCOMPARE(f.loggedPaths(), (QStringList{a, b}));
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QVERIFY(f.zipFolderEntries().isEmpty());
    }

    void failureLinesAreFollowedByTheirCauseInWords_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("cause");
        const QString noConnection =
            QStringLiteral("Could not establish connection with SMTP server.");
        const QString notSent = QStringLiteral("Could not send back up file.");
        QTest::newRow("closed port")
            << "closed" << noConnection << "The server refused the connection (127.0.0.1 port %1).";
        QTest::newRow("greeting refused")
            << "greeting" << noConnection
            << "The server answered 554: not today (in its greeting).";
        QTest::newRow("login refused, password echoed")
            << "login" << noConnection
            << "The server answered 535: no entry for jo/*** (to the user name and password). "
               "Please check the SMTP server user name and password.";
        QTest::newRow("recipient refused")
            << "recipient" << notSent
            << "The server answered 550: no such mailbox (to the recipient address "
               "backups@example.org).";
        QTest::newRow("connection dropped in the message")
            << "drop" << notSent << "The server closed the connection (127.0.0.1 port %1).";
        QTest::newRow("no answer after the message")
            << "stall" << notSent
            << "No answer from the server within 1 second (127.0.0.1 port %1).";
    }

    void failureLinesAreFollowedByTheirCauseInWords()
    {
        QFETCH(QString, failure);
        QFETCH(QString, line);
        QFETCH(QString, cause);
        SequenceFixture f;
        f.listFiles({f.dataFile(QStringLiteral("a.txt"), "first file")});
        quint16 port = f.server.port();
        if (failure == QLatin1String("closed")) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            port = closed.serverPort();
            closed.close();
            TQuayRegistryObject().WriteUserConnectionPort(port);
        } else if (failure == QLatin1String("greeting")) {
            f.server.setGreeting("554 not today\r\n");
        } else if (failure == QLatin1String("login")) {
            f.server.script("EHLO", "250-scripted.test\r\n250 AUTH PLAIN\r\n");
            f.server.script("AUTH", "535 no entry for jo/secret\r\n");
        } else if (failure == QLatin1String("recipient")) {
            f.server.script("RCPT", "550 no such mailbox\r\n");
        } else if (failure == QLatin1String("drop")) {
            f.server.dropAfterDataBytes(50);
        } else {
            f.server.script(".", "", Action::Stall);
            f.replyTimeoutMs = 300;
        }

        f.sequence.RunBackUpSequence();
        const qsizetype at = f.window.history.indexOf(line);
        QVERIFY2(at >= 0, qPrintable(f.window.history.join(u'\n')));
        // A file's failure names the file, a connection's does not need to.
        QVERIFY(f.window.history.value(at + 1).endsWith(
            QString(cause).replace(QLatin1String("%1"), QString::number(port))));
    }

    void sizeRefusalNamesTheFileAndTheLimit_data()
    {
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expectedEnd");
        // Refused whole and then in smaller parts.
        QTest::newRow("refused at the end of data")
            << QByteArray(".") << QByteArray("552 5.3.4 Message too big\r\n")
            << QStringLiteral("bytes.  A smaller \"Largest Message (MB)\" setting may help.");
        // Smaller than the headers alone, so not even a part of the archive fits.
        QTest::newRow("larger than the announced SIZE")
            << QByteArray("EHLO") << QByteArray("250-scripted.test\r\n250 SIZE 500\r\n")
            << QStringLiteral(", the server accepts at most 500 bytes.");
    }

    void sizeRefusalNamesTheFileAndTheLimit()
    {
        QFETCH(QByteArray, word);
        QFETCH(QByteArray, reply);
        QFETCH(QString, expectedEnd);
        SequenceFixture f;
        const QString big = f.dataFile(QStringLiteral("big.bin"), SequenceFixture::noise(5000));
        f.listFiles({big});
        f.server.script(word, reply);
        f.server.script(word, reply);

        f.sequence.RunBackUpSequence();
        const QStringList& history = f.window.history;
        const qsizetype notSent = history.indexOf(QStringLiteral("Could not send back up file."));
        QVERIFY(notSent >= 0);
        const QString reason = history.value(notSent + 1);
        QVERIFY2(reason.startsWith(QStringLiteral("The back up of ") + big +
                                   QStringLiteral(" is too large for the SMTP server: ")),
                 qPrintable(reason));
        QVERIFY2(reason.endsWith(expectedEnd), qPrintable(reason));
        QCOMPARE(f.loggedPaths(), QStringList());
    }

    void damagedLogLineIsReportedAndSkipped()
    {
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "kept");
        const QString b = f.dataFile(QStringLiteral("b.txt"), "described by a damaged line");
        f.listFiles({a, b});
        const QString stamp = dateTimeText(QFileInfo(a).lastModified().addSecs(60));
        const QByteArray logText =
            (a + QLatin1Char(';') + stamp + QStringLiteral(";0 KB;") + stamp +
             QStringLiteral(";0\r\n") + b + QLatin1Char(';') + stamp + QStringLiteral(";0 KB;") +
             stamp + QStringLiteral(";not a number\r\n"))
                .toUtf8();
        const QString logFile = TQuayRegistryObject().ReadLogFile();
        QFile log(logFile);
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write(logText);
        log.close();

        f.sequence.RunBackUpSequence();
        const QString damageLine =
            QStringLiteral("Line 2 of the back up log ") + logFile + QStringLiteral(" is damaged");
        QCOMPARE(f.window.history.filter(damageLine).size(), 1);
        // The file of the damaged line is due again; the log keeps its lines as they were.
        QCOMPARE(f.mailedPaths(), (QStringList{b, logFile}));
        QVERIFY(TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().startsWith(logText));
    }

    void cancelDuringThePauseEndsTwiceAndStops()
    {
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first");
        const QString b = f.dataFile(QStringLiteral("b.txt"), "second");
        f.listFiles({a, b});
        TQuayRegistryObject().WriteShutDown(true);
        f.clock.onPause = [&f] {
            f.completion.CancelSequence();
        };

        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths(), QStringList{a});
        QCOMPARE(f.loggedPaths(), QStringList{a});
        QVERIFY(f.window.history.contains(QStringLiteral("Backed up version of ") + a +
                                          QStringLiteral(" is superseded.")));
        QVERIFY(!f.window.history.contains(QStringLiteral("Back up copy of ") + b +
                                           QStringLiteral(" is current")));
        // Both ends read as stopped by the user, ask nothing and leave b due.
        QCOMPARE(f.window.history.count(Failed), 0);
        QCOMPARE(f.window.history.filter(QStringLiteral("Sequence stopped by User at: ")).size(),
                 2);
        const TQuayRegistryObject store;
        QCOMPARE(store.ReadSequenceMessage(), QString());
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QVERIFY(f.window.memo.contains(
            QStringLiteral("Last back up was cancelled before it completed.")));
        QCOMPARE(f.statusFiles().size(), 2);
        // A cancelled sequence neither hangs up nor shuts down.
        QVERIFY(!f.window.calls.contains(QStringLiteral("startShutDownDelayTimer")));
        QVERIFY(f.env.dialUp.calls().filter(QStringLiteral("hang up")).isEmpty());
        QVERIFY(f.server.waitFor("quit"));
    }

    void runStaysDisabledUntilTheCancelledDriverHasReturned()
    {
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first");
        const QString b = f.dataFile(QStringLiteral("b.txt"), "second");
        f.listFiles({a, b});
        bool runEnabledAfterCancel = true;
        bool cancelEnabledAfterCancel = true;
        f.clock.onPause = [&] {
            f.completion.CancelSequence();
            QVERIFY(f.sequence.isRunning());
            runEnabledAfterCancel = f.window.runEnabled;
            cancelEnabledAfterCancel = f.window.cancelEnabled;
        };
        f.sequence.RunBackUpSequence();
        // While the driver winds down a start would be refused, so Run waits for it.
        QVERIFY(!runEnabledAfterCancel);
        QVERIFY(!cancelEnabledAfterCancel);
        QCOMPARE(f.window.history.filter(QStringLiteral("Sequence stopped by User at: ")).size(),
                 2);
        QVERIFY(f.window.runEnabled);
        QVERIFY(!f.window.cancelEnabled);
        QCOMPARE(f.window.progressPosition, 0);

        // Once it is enabled, a start runs a whole sequence.
        f.sequence.RunBackUpSequence();
        QVERIFY(TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QCOMPARE(f.mailedPaths(), (QStringList{a, b, TQuayRegistryObject().ReadLogFile()}));
    }

    void secondStartWhileRunningIsRefused()
    {
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first");
        f.listFiles({a});
        bool runningSeen = false;
        f.clock.onPause = [&f, &runningSeen] {
            runningSeen = f.sequence.isRunning();
            f.sequence.RunBackUpSequence();
        };
        f.sequence.RunBackUpSequence();
        QVERIFY(runningSeen);
        QVERIFY(!f.sequence.isRunning());
        QCOMPARE(f.window.history.filter(QStringLiteral("Back up sequence started: ")).size(), 1);
        QCOMPARE(f.mailedPaths(), (QStringList{a, TQuayRegistryObject().ReadLogFile()}));
        QCOMPARE(TQuayRegistryObject().ReadNumberOfBackUpSequences(), 1);
    }

    void unusableListOrLogEndsTheSequenceFailed_data()
    {
        QTest::addColumn<QString>("broken");
        QTest::newRow("lists cannot be saved") << "save";
        QTest::newRow("folders list cannot be created") << "folders";
        QTest::newRow("log cannot be created") << "log";
    }

    void unusableListOrLogEndsTheSequenceFailed()
    {
        QFETCH(QString, broken);
        SequenceFixture f;
        const QString missingFolder = f.env.root() + QStringLiteral("/no/such/folder");
        const TQuayRegistryObject store;
        if (broken == QLatin1String("save"))
            f.window.onSaveUserChoices = [] {
                throw KestrelError(QStringLiteral("/x/Files.Txt"));
            };
        else if (broken == QLatin1String("folders"))
            store.writeString(QStringLiteral("FileOfDirectories"),
                              missingFolder + QStringLiteral("/Dirs.Txt"));
        else
            store.writeString(QStringLiteral("LogFile"),
                              missingFolder + QStringLiteral("/Log.Txt"));

        f.sequence.RunBackUpSequence();
        QVERIFY(f.window.history.contains(QStringLiteral("The back up sequence cannot go on.")));
        QVERIFY(f.window.history.contains(Failed));
        QVERIFY(f.window.runEnabled);
        QVERIFY(!f.window.cancelEnabled);
        QVERIFY(!f.sequence.isRunning());
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QCOMPARE(f.server.messages().size(), 0);
    }

    void logMailFailureEndsTheSequenceFailed()
    {
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first");
        f.listFiles({a});
        f.server.script(".", "250 OK\r\n");
        f.server.script(".", "451 try again later\r\n");

        f.sequence.RunBackUpSequence();
        QVERIFY(f.window.history.contains(QStringLiteral("Could not send the back up log file.")));
        QVERIFY(f.window.history.contains(Failed));
        QCOMPARE(f.loggedPaths(), QStringList{a});
        QVERIFY(TQuayRegistryObject().ReadLastBackUpLogFileName().isEmpty());
        QVERIFY(f.window.runEnabled);
    }

    // Patterns match below the innermost selected folder, and a selected folder is
    // walked even where the patterns of a folder above it leave it out.
    void folderWalkWithNestedSelections()
    {
        TestEnvironment env;
        const QString outer = env.path(QStringLiteral("data"));
        const QString inner = env.path(QStringLiteral("data/build"));
        env.writeFile(QStringLiteral("data/build/out/a.o"), "object");
        env.writeFile(QStringLiteral("data/build/notes.txt"), "kept");
        env.writeFile(QStringLiteral("data/other/build/b.txt"), "left out");
        FolderWalk walk;
        walk.setFilter(
            WalkFilter(ExcludePatterns::parse("build/\n/out/\n"), "Exclude.Txt", false, 0));
        walk.read({outer, inner}, true);
        QCOMPARE(walk.folders(), QStringList({outer, inner, outer + "/other"}));
        QCOMPARE(walk.fileCount(), 1);
        QCOMPARE(walk.leftOutFolders(), 2);
        QCOMPARE(walk.leftOut().at(0).reason, QStringLiteral("Exclude.Txt line 1: build/"));
        QCOMPARE(walk.leftOut().at(1).path, inner + "/out");
        QCOMPARE(walk.leftOut().at(1).reason, QStringLiteral("Exclude.Txt line 2: /out/"));
    }

    void leftOutSummary_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("folders");
        QTest::addColumn<QString>("line");
        QTest::newRow("none") << 0 << 0 << QString();
        QTest::newRow("one file") << 1 << 0 << "1 file was left out by the exclusions.";
        QTest::newRow("folders") << 0 << 2 << "2 folders were left out by the exclusions.";
        QTest::newRow("both") << 12 << 1
                              << "12 files and 1 folder were left out by the exclusions.";
    }

    void leftOutSummary()
    {
        QFETCH(int, files);
        QFETCH(int, folders);
        QFETCH(QString, line);
        QCOMPARE(FolderWalk::leftOutSummary(files, folders), line);
    }

    // Each step is "bytes@ms", "!" after it when a file ended there, its pause included;
    // the count starts at 0.
    void transferLine_data()
    {
        QTest::addColumn<qint64>("due");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("the pauses still to come are added")
            << qint64(4000) << 4 << 2000 << "1000@2500! 2000@5000!"
            << QStringList{"1.0 kB of 4.0 kB sent, about 8 s left",
                           "2.0 kB of 4.0 kB sent, about 5 s left"};
        QTest::newRow("a small first file is mostly pause")
            << qint64(1000010) << 2 << 2000 << "10@2000! 500010@3000"
            << QStringList{"10 bytes of 1.0 MB sent, about 2 s left",
                           "500.0 kB of 1.0 MB sent, about 3 s left"};
        QTest::newRow("no time left in the first seconds")
            << qint64(1000000) << 0 << 0 << "100000@1000 200000@2000 300000@3000"
            << QStringList{"100.0 kB of 1.0 MB sent", "200.0 kB of 1.0 MB sent",
                           "300.0 kB of 1.0 MB sent, about 7 s left"};
        QTest::newRow("unknown total") << qint64(-1) << 0 << 0 << "5000@1000! 9000@5000!"
                                       << QStringList{"5.0 kB sent", "9.0 kB sent"};
        QTest::newRow("at most one line per interval, the held one later")
            << qint64(1000000) << 0 << 0 << "1000@0 2000@100 3000@249! 4000@250 5000@300 5000@600"
            << QStringList{"1.0 kB of 1.0 MB sent", "4.0 kB of 1.0 MB sent, about 1 min left",
                           "5.0 kB of 1.0 MB sent, about 2 min left"};
        QTest::newRow("minutes and hours")
            << qint64(10000000000) << 0 << 0
            << "1000000000@600000! 5000000000@1200000! 9990000000@1800000!"
            << QStringList{"1.0 GB of 10.0 GB sent, about 1 h 30 min left",
                           "5.0 GB of 10.0 GB sent, about 20 min left",
                           "10.0 GB of 10.0 GB sent, about 2 s left"};
        QTest::newRow("a last moment rounds up, all done has no time left")
            << qint64(1000) << 0 << 0 << "999@3000 1000@3300! 1200@3600!"
            << QStringList{"999 bytes of 1.0 kB sent, about 1 s left", "1.0 kB of 1.0 kB sent",
                           "1.2 kB of 1.2 kB sent"};
    }

    void transferLine()
    {
        QFETCH(qint64, due);
        QFETCH(int, files);
        QFETCH(int, pauseMs);
        QFETCH(QString, steps);
        QFETCH(QStringList, shown);
        TransferEstimate estimate(QStringLiteral("sent"));
        estimate.start(due, 0, files, pauseMs);
        QStringList lines;
        for (const QString& step : steps.split(u' ')) {
            const QStringList parts = QString(step).remove(u'!').split(u'@');
            if (estimate.update(parts[0].toLongLong(), parts[1].toLongLong(), step.endsWith(u'!')))
                lines << estimate.text();
        }
        QCOMPARE(lines, shown);
    }
};

const QString TestBackUpSequence::Completed = QStringLiteral("Back up sequence completed: ");
const QString TestBackUpSequence::Failed =
    QStringLiteral("Back up sequence failed to complete.  Please check your connection.");

QTEST_GUILESS_MAIN(TestBackUpSequence)
#include "tst_backupsequence.moc"
