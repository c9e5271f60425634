#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "transport/CommandDialUp.h"
#include "transport/TokenCommand.h"

#include <QFile>
#include <QTest>

#include <csignal>

// Dial and hang-up, and access tokens, through the user's commands. Only harmless
// commands run here: true, false, sleep, echo, printf and writes into the test's
// temporary folder.
class TestCommandDialUp : public QObject
{
    Q_OBJECT

private:
    static bool processGone(pid_t pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        return ::kill(pid, 0) != 0 || !status.open(QIODevice::ReadOnly) ||
               status.readAll().contains("State:\tZ");
    }

private Q_SLOTS:
    void dialResult_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("connected");
        QTest::newRow("no command: always connected") << QString() << true;
        QTest::newRow("blank command: always connected") << QStringLiteral("   ") << true;
        QTest::newRow("exit 0") << QStringLiteral("true") << true;
        QTest::newRow("exit 1") << QStringLiteral("false") << false;
        QTest::newRow("command not found") << QStringLiteral("/nonexistent/dialler") << false;
        QTest::newRow("killed by a signal") << QStringLiteral("kill -TERM $$") << false;
    }

    void dialResult()
    {
        QFETCH(QString, command);
        QFETCH(bool, connected);
        TestEnvironment env;
        TQuayRegistryObject().WriteDialUpCommand(command);
        QCOMPARE(CommandDialUp(10000).dial(), connected);
    }

    void hangingCommandIsStoppedWithItsChildren()
    {
        TestEnvironment env;
        const QString pidFile = env.path(QStringLiteral("dialler.pid"));
        // The shell starts a child that would outlive a kill of the shell alone.
        TQuayRegistryObject().WriteDialUpCommand(
            QStringLiteral("sleep 300 & echo $! > '%1'; wait").arg(pidFile));
        QVERIFY(!CommandDialUp(300).dial());

        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t child = file.readAll().trimmed().toInt();
        QVERIFY(child > 0);
        // The killed child may linger as a zombie for a moment.
        QTRY_VERIFY_WITH_TIMEOUT(processGone(child), 10000);
    }

    // The user's command that prints an access token: split as a desktop file's Exec
    // line and run without a shell; every failure names the server and says why.
    void tokenCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("error");
        QTest::newRow("first line") << "printf \"tok en\\\\n2nd\""
                                    << "tok en" << QString();
        QTest::newRow("quoted program") << "\"/bin/sh\" -c \"echo \\\"x y\\\"; echo z\""
                                        << "x y" << QString();
        QTest::newRow("no shell") << "echo $HOME;"
                                  << "$HOME;" << QString();
        QTest::newRow("fails") << "sh -c \"echo expired >&2; exit 3\"" << QString()
                               << "The token command for the SMTP server exited with status 3: "
                                  "expired.";
        QTest::newRow("prints nothing")
            << "true" << QString() << "The token command for the SMTP server printed no token.";
        QTest::newRow("hangs") << "sleep 20" << QString()
                               << "The token command for the SMTP server did not finish within "
                                  "0.3 seconds.";
        QTest::newRow("not there") << "/nonexistent/token" << QString() << "could not start";
        QTest::newRow("open quote") << "sh -c \"echo" << QString() << "quote that is not closed";
    }

    void tokenCommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, token);
        QFETCH(QString, error);
        QString got;
        QString failure;
        try {
            got = TokenCommand::run(command, QStringLiteral("SMTP"), 300);
        } catch (const KestrelError& e) {
            failure = e.message();
        }
        QCOMPARE(got, token);
        QVERIFY2(error.isEmpty() ? failure.isEmpty() : failure.contains(error),
                 qPrintable(failure));
    }

    void hangUpRunsTheCommandOnlyWhenSet()
    {
        TestEnvironment env;
        const QString marker = env.path(QStringLiteral("hung-up"));
        CommandDialUp dialUp(10000);
        dialUp.hangUp();
        QVERIFY(!QFile::exists(marker));
        TQuayRegistryObject().WriteHangUpCommand(QStringLiteral("touch '%1'").arg(marker));
        dialUp.hangUp();
        QVERIFY(QFile::exists(marker));
    }
};

QTEST_GUILESS_MAIN(TestCommandDialUp)
#include "tst_commanddialup.moc"
