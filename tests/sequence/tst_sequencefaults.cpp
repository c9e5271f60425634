#include "sequence/SequenceDataFile.h"
#include "sequence/SequenceTestFixture.h"
#include "support/FilePermissionsEnforced.h"
#include "support/MailedArchive.h"

#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Faults of single files and folders in whole sequences: a file that changes while it
// is mailed, one that cannot be read or is too large for the server, names and
// folders the walk cannot take. None of them may lose or hide a backup.
class TestSequenceFaults : public QObject
{
    Q_OBJECT

private:
    static constexpr const char* ZipPassword = "zip secret";

    static MailedArchive mailed(const SequenceFixture& f, int index)
    {
        return MailedArchive::readText(f.server.messages().value(index),
                                       f.env.path(QStringLiteral("mailed-%1").arg(index)),
                                       QLatin1String(ZipPassword));
    }
    static QStringList dataFileLines()
    {
        QFile data(SequenceDataFile::folder() + QLatin1Char('/') +
                   TQuayRegistryObject().ReadSequenceFile());
        if (!data.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(data.readAll()).split(QStringLiteral("\r\n"));
    }
    // Content and modification time set at once; nanoseconds -1 keeps the old time's.
    static void rewrite(const QString& path, const QByteArray& content, qint64 seconds,
                        long nanoseconds)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
        file.close();
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    static struct stat statOf(const QString& path)
    {
        struct stat status = {};
        ::stat(QFile::encodeName(path).constData(), &status);
        return status;
    }

private Q_SLOTS:
    void fileChangedWhileItIsMailedStaysDue_data()
    {
        QTest::addColumn<bool>("sameSecond");
        QTest::newRow("changed a few seconds later") << false;
        // The log keeps whole seconds: a change within the packed second must still
        // leave the file due.
        QTest::newRow("changed within the same second") << true;
    }

    void fileChangedWhileItIsMailedStaysDue()
    {
        QFETCH(bool, sameSecond);
        SequenceFixture f;
        TQuayRegistryObject().WriteUserZipPassword(QLatin1String(ZipPassword));
        const QString a = f.dataFile(QStringLiteral("a.txt"), "the old words");
        f.listFiles({a});
        const struct stat packed = statOf(a);
        f.server.onNextMessage([&] {
            const long nanoseconds = (packed.st_mtim.tv_nsec + 500000000) % 1000000000;
            rewrite(a, "the new words, longer", packed.st_mtim.tv_sec + (sameSecond ? 0 : 5),
                    nanoseconds);
        });

        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().first(), a);
        QCOMPARE(mailed(f, 0).content, QByteArray("the old words"));

        // The log holds the state that was sent, so the next run sends the new words.
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().value(2), a);
        QCOMPARE(mailed(f, 2).content, QByteArray("the new words, longer"));
        // And then it is current.
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().size(), 5);
    }

    void unreadableFileIsSkippedAndTheRestIsBackedUp()
    {
        SequenceFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first");
        const QString b = f.dataFile(QStringLiteral("b.txt"), "locked away");
        const QString c = f.dataFile(QStringLiteral("c.txt"), "third");
        f.listFiles({a, b, c});
        QVERIFY(QFile::setPermissions(b, QFileDevice::WriteOwner));
        const QString logFile = TQuayRegistryObject().ReadLogFile();
        {
            const FilePermissionsEnforced asAUser;
            f.sequence.RunBackUpSequence();
        }
        QCOMPARE(f.mailedPaths(), (QStringList{a, c, logFile}));
        QCOMPARE(f.loggedPaths(), (QStringList{a, c}));
        const QString sentence = b + QStringLiteral(" was not backed up: it cannot be read "
                                                    "(Permission denied).");
        const TQuayRegistryObject store;
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 2);
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 0);
        QCOMPARE(store.ReadSequenceMessage(),
                 QStringLiteral("Last back up sequence could not back up 1 file or folder.  The "
                                "sequence data file names them; they are tried again in the next "
                                "sequence."));
        // Named in the data file and, after the summary, in the memo.
        QVERIFY2(dataFileLines().contains(sentence), qPrintable(dataFileLines().join('\n')));
        QVERIFY(dataFileLines().contains(QStringLiteral(
            "Back up sequence completed, but 1 file or folder could not be backed up.")));
        QVERIFY(f.window.memo.contains(sentence));
        // c's report follows b's failure in the memo: the memo was cleared for c and
        // the line stayed.
        const qsizetype cReport = f.window.history.lastIndexOf(
            QStringLiteral("Backed up version of ") + c + QStringLiteral(" is superseded."));
        QVERIFY(cReport > f.window.history.indexOf(sentence));

        // Once readable, b alone goes out, and the run is a success again.
        QVERIFY(QFile::setPermissions(b, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(3), (QStringList{b, logFile}));
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QVERIFY(store.ReadSequenceMessage().isEmpty());
        QVERIFY(!f.window.memo.contains(sentence));
    }

    // A server without a SIZE that refuses a message for its size gets the file once
    // more, in parts half that size; refused again, the file is skipped, and the run
    // goes on and ends telling the user, the list of what it left out shown once.
    void fileTooLargeForTheServerIsSkipped_data()
    {
        QTest::addColumn<int>("refusals");
        QTest::newRow("taken in parts") << 1;
        QTest::newRow("refused in parts too") << 2;
    }

    void fileTooLargeForTheServerIsSkipped()
    {
        QFETCH(int, refusals);
        SequenceFixture f;
        const QString big = f.dataFile(QStringLiteral("big.bin"), SequenceFixture::noise(5000));
        const QString small = f.dataFile(QStringLiteral("small.txt"), "fits");
        f.listFiles({big, small});
        for (int i = 0; i < refusals; ++i)
            f.server.script(".", "552 5.3.4 Message too big\r\n");

        f.sequence.RunBackUpSequence();
        const QString logFile = TQuayRegistryObject().ReadLogFile();
        QCOMPARE(f.mailedPaths().first(), big);
        QVERIFY(f.mailedPaths().value(1).startsWith(big + QStringLiteral(" (part 1 of ")));
        QCOMPARE(f.mailedPaths().mid(f.mailedPaths().size() - 2), (QStringList{small, logFile}));
        QVERIFY(f.zipFolderEntries().isEmpty());
        if (refusals == 1) {
            QCOMPARE(f.loggedPaths(), (QStringList{big, small}));
            QVERIFY(TQuayRegistryObject().ReadBackUpSequenceSuccess());
            return;
        }
        QCOMPARE(f.mailedPaths().size(), 4);
        QCOMPARE(f.loggedPaths(), QStringList{small});
        const QStringList named =
            dataFileLines().filter(QStringLiteral("The back up of ") + big +
                                   QStringLiteral(" is too large for the SMTP server: it refused "
                                                  "even parts of at most "));
        QCOMPARE(named.size(), 2); // where it happened, and in the closing list
        QCOMPARE(f.window.history.count(QStringLiteral("Not backed up in this sequence:")), 1);
        QCOMPARE(dataFileLines().count(QStringLiteral("Not backed up in this sequence:")), 1);
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QCOMPARE(TQuayRegistryObject().ReadNumberOfFilesInLastSequence(), 1);
    }

    // The end of a failed run asks to check the connection only where the connection
    // may be at fault: a refused log-in says what to do instead.
    void failedEndSaysWhatToDo_data()
    {
        QTest::addColumn<QByteArray>("authReply");
        QTest::addColumn<QString>("advice");
        QTest::addColumn<QString>("cause");
        QTest::newRow("wrong password")
            << QByteArray("535 5.7.8 Username and Password not accepted\r\n")
            << QStringLiteral("Please check the SMTP server user name and password.")
            << QStringLiteral("535: 5.7.8 Username and Password not accepted");
        QTest::newRow("app password wanted")
            << QByteArray("534 5.7.9 Application-specific password required\r\n")
            << QStringLiteral("The mail provider wants an app password: make one in the "
                              "account's security settings and enter it as the SMTP server user "
                              "password.")
            << QStringLiteral("534: 5.7.9 Application-specific password required");
        QTest::newRow("server gone")
            << QByteArray() << QStringLiteral("Please check your connection.")
            << QStringLiteral("The server closed the connection");
    }

    void failedEndSaysWhatToDo()
    {
        QFETCH(QByteArray, authReply);
        QFETCH(QString, advice);
        QFETCH(QString, cause);
        SequenceFixture f;
        f.listFiles({f.dataFile(QStringLiteral("a.txt"), "a")});
        f.server.script("EHLO", "250-scripted.test\r\n250 AUTH PLAIN\r\n");
        if (authReply.isEmpty())
            f.server.script("AUTH", QByteArray(), ScriptedSmtpServer::Action::Drop);
        else
            f.server.script("AUTH", authReply);

        f.sequence.RunBackUpSequence();
        QVERIFY2(f.window.history.contains(
                     QStringLiteral("Back up sequence failed to complete.  ") + advice),
                 qPrintable(f.window.history.join(u'\n')));
        // The cause stays below the summary that replaces the memo, and the warning
        // names it too.
        const QString memo = f.window.memo.join(u'\n');
        const qsizetype summaryEnd = memo.indexOf(QStringLiteral("For more details see"));
        QVERIFY2(summaryEnd >= 0 && memo.indexOf(cause, summaryEnd) > summaryEnd, qPrintable(memo));
        const QString warning = TQuayRegistryObject().ReadSequenceMessage();
        QVERIFY(warning.startsWith(QStringLiteral("Last back up sequence failed to complete.  ") +
                                   advice + QStringLiteral("\n\n")));
        QVERIFY2(warning.contains(cause), qPrintable(warning));
    }

    // Only archives the server accepted count, each once; the log's copy never does.
    void countersCountWhatTheServerAccepted()
    {
        SequenceFixture f;
        TQuayRegistryObject().WriteUserZipPassword(QLatin1String(ZipPassword));
        const QString a = f.dataFile(QStringLiteral("a.bin"), SequenceFixture::noise(3000));
        const QString b = f.dataFile(QStringLiteral("b.bin"), SequenceFixture::noise(4000));
        f.listFiles({a, b});
        f.server.script(".", "250 OK\r\n");
        f.server.script(".", "554 refused\r\n");

        f.sequence.RunBackUpSequence();
        QCOMPARE(mailed(f, 0).content.size(), 3000);
        // The archive as the server received it.
        const qint64 archiveBytes =
            QFileInfo(f.env.path(QStringLiteral("mailed-0/archive.zip"))).size();
        QVERIFY(archiveBytes > 3000);
        const TQuayRegistryObject store;
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 1);
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), double(archiveBytes));

        // A run that mails only the log adds nothing.
        f.listFiles({a});
        f.sequence.RunBackUpSequence();
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 0);
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), double(archiveBytes));
    }

    // The providers' limits: a sequence sends at most the set number of messages and
    // counts what waits; a server that asks to slow down ends it with the files due.
    void providersLimitsEndTheRunCleanly()
    {
        SequenceFixture f;
        const TQuayRegistryObject store;
        store.WriteMaxMessagesPerSequence(2);
        QStringList files;
        for (const QString name : {"a", "b", "c", "d"})
            files << f.dataFile(name, name.toUtf8());
        f.listFiles(files);
        // The server closes the session after the first message it takes: the next file
        // goes through a new session, logged in anew.
        f.server.script(".", "250 2.0.0 Ok, closing\r\n", ScriptedSmtpServer::Action::Drop);

        f.sequence.RunBackUpSequence();
        QCOMPARE(f.server.messages().size(), 2);
        const QList<QByteArray> commands = f.server.commands();
        QCOMPARE(
            std::count_if(commands.begin(), commands.end(),
                          [](const QByteArray& line) { return line.toUpper().startsWith("EHLO"); }),
            2);
        QCOMPARE(f.loggedPaths(), files.mid(0, 2));
        const QString memo = f.window.history.join(u'\n');
        QVERIFY2(memo.contains("The SMTP server closed the connection; connecting again...") &&
                     memo.contains("2 messages were sent, the most allowed in one sequence.") &&
                     memo.contains("2 files wait for the next back up sequence."),
                 qPrintable(memo));
        QVERIFY(store.ReadBackUpSequenceSuccess());

        f.server.script(".", "421 4.7.0 Try again later, closing connection.\r\n",
                        ScriptedSmtpServer::Action::Drop);
        f.window.history.clear();
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.loggedPaths(), files.mid(0, 2));
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QVERIFY2(store.ReadSequenceMessage().contains("The server asks to slow down.") &&
                     store.ReadSequenceMessage().contains("4.7.0 Try again later"),
                 qPrintable(store.ReadSequenceMessage()));
    }

    void namesAndFoldersTheWalkCannotTakeAreReported()
    {
        SequenceFixture f;
        const QString good = f.dataFile(QStringLiteral("tree/good.txt"), "fine");
        const QString tree = QFileInfo(good).absolutePath();
        const QByteArray oddName = QFile::encodeName(tree) + "/caf\xe9.txt";
        const int descriptor = ::open(oddName.constData(), O_CREAT | O_WRONLY, 0600);
        QVERIFY(descriptor >= 0);
        ::close(descriptor);
        const QString locked = f.dataFile(QStringLiteral("tree/locked/inside.txt"), "unseen");
        const QString lockedFolder = QFileInfo(locked).absolutePath();
        QVERIFY(QFile::setPermissions(lockedFolder, QFileDevice::WriteOwner));
        const QString last = f.dataFile(QStringLiteral("tree/z-last.txt"), "after them");
        f.listFolders({tree});
        f.window.subFolders = true;
        {
            const FilePermissionsEnforced asAUser;
            f.sequence.RunBackUpSequence();
        }
        QVERIFY(QFile::setPermissions(lockedFolder, QFileDevice::ReadOwner |
                                                        QFileDevice::WriteOwner |
                                                        QFileDevice::ExeOwner));
        // The temporary folder's removal cannot name it either.
        QCOMPARE(::unlink(oddName.constData()), 0);
        const QString logFile = TQuayRegistryObject().ReadLogFile();
        QCOMPARE(f.mailedPaths(), (QStringList{good, last, logFile}));
        const QStringList expected{
            QStringLiteral("The folder \"%1\" could not be read.").arg(lockedFolder),
            QStringLiteral("\"%1/caf\uFFFD.txt\" has a name that is not valid UTF-8 and cannot "
                           "be backed up; it was skipped.")
                .arg(tree)};
        for (const QString& sentence : expected) {
            // Added once while the run went on (it then stays through the clearing
            // before each file), and listed once at the end, below the summary.
            QCOMPARE(f.window.history.count(sentence), 2);
            QVERIFY2(f.window.memo.contains(sentence), qPrintable(f.window.memo.join('\n')));
            QVERIFY(dataFileLines().contains(sentence));
        }
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QVERIFY(TQuayRegistryObject().ReadSequenceMessage().contains(
            QStringLiteral("2 files or folders")));
    }
};

QTEST_GUILESS_MAIN(TestSequenceFaults)
#include "tst_sequencefaults.moc"
