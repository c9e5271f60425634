#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "transport/CommandDialUp.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <csignal>

// Dial and hang-up through the user's commands. Only harmless commands run here:
// true, false, sleep and writes into the test's temporary folder.
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
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!CommandDialUp(300).dial());
        QVERIFY(timer.elapsed() < 60000);

        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t child = file.readAll().trimmed().toInt();
        QVERIFY(child > 0);
        // The killed child may linger as a zombie for a moment.
        QTRY_VERIFY_WITH_TIMEOUT(processGone(child), 10000);
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
