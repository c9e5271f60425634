#include "core/KestrelCommandLine.h"
#include "core/QuayRegistryObject.h"
#include "restore/HeadlessRestore.h"
#include "support/FakeMailboxReader.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>
#include <QTextStream>

using Action = KestrelCommandLine::Action;

// The mailbox commands for scripts: what the command line makes of them, and what
// listing and restoring print and return.
class TestHeadlessRestore : public QObject
{
    Q_OBJECT

private:
    static QDateTime at(int day, int minute)
    {
        return QDateTime(QDate(2026, 3, day), QTime(10, minute));
    }

private Q_SLOTS:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        // Pattern, target, version, the server to sign in to and count, or the refusal's
        // start.
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QStringList& arguments, Action action,
                            const QString& expected) {
            QTest::newRow(name) << arguments << int(action) << expected;
        };
        row("list all", {"--list"}, Action::ListSaved, "||||0");
        row("list pattern", {"--list", "*.txt"}, Action::ListSaved, "*.txt||||0");
        row("list two patterns", {"--list", "a", "b"}, Action::Refuse, "Unexpected argument");
        row("restore latest", {"--restore", "docs", "--to", "/tmp/r"}, Action::RestoreSaved,
            "docs|/tmp/r|||0");
        row("restore dated", {"--restore", "a", "--version", "2026-03-01 10:02", "--to", "/r"},
            Action::RestoreSaved, "a|/r|2026-03-01 10:02||0");
        row("restore dated with =", {"--version=2026-03-01", "--restore=a", "--to=/r"},
            Action::RestoreSaved, "a|/r|2026-03-01||0");
        row("restore bad date", {"--restore", "a", "--to", "/r", "--version", "2026-02-30"},
            Action::Refuse, "--version takes");
        row("restore version without date", {"--restore", "a", "--to", "/r", "--version"},
            Action::Refuse, "With --restore, --version");
        row("restore without target", {"--restore", "a"}, Action::Refuse, "--restore needs --to");
        row("to alone", {"--list", "--to", "/r"}, Action::Refuse, "--to and --overwrite go");
        row("overwrite alone", {"--list", "--overwrite"}, Action::Refuse, "--to and --overwrite");
        row("version still shows", {"--version"}, Action::ShowVersion, "||||0");
        row("verify", {"--verify", "5"}, Action::VerifySaved, "||||5");
        row("verify nothing", {"--verify", "0"}, Action::Refuse, "--verify takes");
        row("two tasks", {"--list", "--verify", "2"}, Action::Refuse, "--run, --list");
        row("run and list", {"--run", "--list"}, Action::Refuse, "--run, --list");
        row("full with list", {"--list", "--full"}, Action::Refuse, "--full goes with --run");
        row("bad fingerprint", {"--list", "--trust-certificate", "12"}, Action::Refuse,
            "--trust-certificate takes");
        row("sign in", {"--sign-in", "SMTP"}, Action::SignIn, "|||smtp|0");
        row("sign in in the browser", {"--sign-in=imap", "--browser"}, Action::SignIn,
            "|||imap+browser|0");
        row("sign in elsewhere", {"--sign-in", "pop"}, Action::Refuse, "--sign-in takes");
        row("sign in and run", {"--run", "--sign-in", "smtp"}, Action::Refuse,
            "--sign-in goes alone");
        row("browser alone", {"--browser"}, Action::Refuse, "--browser goes with --sign-in");
        row("schedule daily", {"--schedule", "Daily@7:05"}, Action::Schedule, "daily@07:05");
        row("schedule hours", {"--schedule=hours:23"}, Action::Schedule, "hours:23");
        row("schedule weekly", {"--schedule", "weekly:sun, wed,Wed@19:00"}, Action::Schedule,
            "weekly:Wed,Sun@19:00");
        row("schedule off", {"--schedule", "OFF"}, Action::Schedule, "off");
        row("schedule no hours", {"--schedule", "hours:0"}, Action::Refuse, "--schedule takes");
        row("schedule a day too long", {"--schedule", "hours:24"}, Action::Refuse,
            "--schedule takes");
        row("schedule no days", {"--schedule", "weekly:@07:30"}, Action::Refuse,
            "--schedule takes");
        row("schedule no such day", {"--schedule", "weekly:Mon,Fry@07:30"}, Action::Refuse,
            "--schedule takes");
        row("schedule no such time", {"--schedule", "daily@24:00"}, Action::Refuse,
            "--schedule takes");
        row("schedule and run", {"--run", "--schedule", "off"}, Action::Refuse,
            "--schedule goes alone");
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, expected);
        const KestrelCommandLine line(QStringList{"kestrelsolo"} + arguments);
        QCOMPARE(int(line.action()), action);
        if (line.action() == Action::Refuse)
            QVERIFY2(line.errorText().startsWith(expected), qPrintable(line.errorText()));
        else if (line.action() == Action::Schedule)
            QCOMPARE(line.schedule().text(), expected);
        else
            QCOMPARE(
                QStringList({line.pattern(), line.restoreTarget(), line.restoreVersion(),
                             line.signInServer() + (line.signInWithBrowser() ? "+browser" : ""),
                             QString::number(line.verifyCount())})
                    .join('|'),
                expected);
    }

    void listAndRestoreForScripts()
    {
        TestEnvironment env;
        TQuayRegistryObject().WriteUserZipPassword("Quokka-7");
        FakeMailboxReader reader;
        reader.addSaveNote("/home/jo/a.txt", at(1, 1),
                           FakeMailboxReader::archive("a.txt", "first", "Quokka-7"));
        reader.addSaveNote("/home/jo/a.txt", at(2, 1),
                           FakeMailboxReader::archive("a.txt", "second", "Quokka-7"));
        const QList<quint32> torn = reader.addSaveNote("/home/jo/a.txt", at(3, 1), "xyz", 2);
        reader.removeNote(torn.at(1));
        reader.addSaveNote("/home/jo/b.bin", at(1, 5),
                           FakeMailboxReader::archive("b.bin", "b", "Quokka-7"));

        QString text;
        QTextStream out(&text);
        HeadlessRestore run(out, reader, reader.open(), "key", env.path("cache"));
        QCOMPARE(run.list("a.txt"), int(HeadlessRestore::Succeeded));
        QStringList lines = text.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines.at(0).startsWith("2026-03-03 10:01:00"));
        QVERIFY(lines.at(0).contains("1 of 2 parts"));
        QVERIFY(lines.at(0).endsWith("/home/jo/a.txt"));
        QCOMPARE(lines.at(1), "    incomplete: part 2 of 2 is missing");
        QVERIFY(lines.at(4).startsWith("4 notes read (0 from the cache) in "));

        text.clear();
        QCOMPARE(run.list(QString()), int(HeadlessRestore::Succeeded));
        QVERIFY(text.contains("4 notes read (4 from the cache)"));

        // Without a date the newest version: it is torn, so the one before it is
        // restored, said so, and the run fails. With a date, that day's.
        text.clear();
        reader.onFetch = [&env] {
            env.clock.advance(4000);
        };
        QCOMPARE(run.restore("*", env.path("latest"), QString()), int(HeadlessRestore::Failed));
        reader.onFetch = {};
        QFile latest(env.path("latest/home/jo/a.txt"));
        QVERIFY(latest.open(QIODevice::ReadOnly));
        QCOMPARE(latest.readAll(), "second");
        QVERIFY2(text.endsWith("2 files restored, 0 skipped, 0 failed\nThe newest version of "
                               "/home/jo/a.txt, saved 2026-03-03 10:01:00, is incomplete: part 2 "
                               "of 2 is missing. The version saved 2026-03-02 10:01:00 is restored "
                               "instead.\n"),
                 qPrintable(text));
        // Four seconds a download: the time left is told from the first file on.
        QVERIFY(text.startsWith("Restoring /home/jo/a.txt\n166 bytes of 330 bytes restored, "
                                "about 4 s left\n"));
        QVERIFY(text.contains("\n330 bytes of 330 bytes restored\n2 files restored"));
        QCOMPARE(text.count("files restored"), 1);
        QCOMPARE(text.count("The newest version"), 1);
        QCOMPARE(run.restore("a.txt", env.path("dated"), "2026-03-01"),
                 int(HeadlessRestore::Succeeded));
        QFile dated(env.path("dated/home/jo/a.txt"));
        QVERIFY(dated.open(QIODevice::ReadOnly));
        QCOMPARE(dated.readAll(), "first");

        // Nobody answers in a script: an existing file is kept, and said so.
        text.clear();
        env.prompt.queueAnswer(Prompt::Answer::No);
        QCOMPARE(run.restore("a.txt", env.path("dated"), "2026-03-01 10:01"),
                 int(HeadlessRestore::Succeeded));
        QVERIFY(text.contains("Skipped /home/jo/a.txt: the existing file was kept"));
        QFile keptOrWritten(env.path("dated/home/jo/a.txt"));
        QVERIFY(keptOrWritten.open(QIODevice::ReadOnly));
        QCOMPARE(keptOrWritten.readAll(), "first");
        keptOrWritten.close();
        // With --overwrite it is written over, and nobody is asked.
        const qsizetype questions = env.prompt.questions().size();
        QCOMPARE(run.restore("a.txt", env.path("dated"), "2026-03-02", true),
                 int(HeadlessRestore::Succeeded));
        QCOMPARE(env.prompt.questions().size(), questions);
        QVERIFY(keptOrWritten.open(QIODevice::ReadOnly));
        QCOMPARE(keptOrWritten.readAll(), "second");
        QCOMPARE(run.restore("a.txt", env.path("torn"), "2026-03-03 10:01:00"),
                 int(HeadlessRestore::Failed));
        QCOMPARE(run.restore("nothing", env.path("none"), QString()), int(HeadlessRestore::Failed));
        QCOMPARE(run.restore("a.txt", env.path("none"), "2026-03-09"),
                 int(HeadlessRestore::Failed));
        QVERIFY(!text.contains("Quokka"));

        // Names from the mailbox reach the terminal with their control characters shown,
        // never as commands to it, nor as lines of their own.
        reader.addSaveNote("/home/jo/\x1b]0;owned\x07\nfake line", at(4, 1),
                           FakeMailboxReader::archive("x", "x", "Quokka-7"));
        text.clear();
        QCOMPARE(run.list("owned"), int(HeadlessRestore::Succeeded));
        QVERIFY2(text.contains("/home/jo/\\x1B]0;owned\\x07\\x0Afake line\n"), qPrintable(text));
        QVERIFY(!text.contains('\x1b'));
    }
};

QTEST_GUILESS_MAIN(TestHeadlessRestore)
#include "tst_headlessrestore.moc"
