#include "core/BackUpSchedule.h"
#include "core/KestrelError.h"
#include "support/PrivateDBus.h"
#include "support/TestEnvironment.h"
#include "winintegration/SystemdUnitFiles.h"
#include "winintegration/SystemdUserTimer.h"
#include "winintegration/XdgAutostart.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
// Runs systemd-analyze; empty when it succeeded without a word, else what it said.
std::optional<QString> systemdAnalyzeComplaint(const QStringList& arguments)
{
    QProcess analyze;
    analyze.start(QStringLiteral("systemd-analyze"), arguments);
    if (!analyze.waitForFinished(30000))
        return QStringLiteral("systemd-analyze did not finish");
    const QString said = QString::fromUtf8(analyze.readAllStandardError());
    if (analyze.exitCode() != 0 || !said.isEmpty())
        return said + QString::fromUtf8(analyze.readAllStandardOutput());
    return std::nullopt;
}
} // namespace

// The program's files in the user's config folder, in a temporary one: the
// start-at-log-in entry as an XDG autostart file, and the schedule's systemd units
// and the calls that hand them to a mock of systemd's user manager.
class TestXdgAutostart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writeCheckAndDelete()
    {
        TestEnvironment env(QStringLiteral("KestrelDrive"));
        XdgAutostart autostart;
        QVERIFY(!autostart.isPresent());
        autostart.write(true);
        const QString path = XdgAutostart::entryPath();
        QCOMPARE(path, env.root() + QStringLiteral("/home/.config/autostart/KestrelDrive.desktop"));
        QVERIFY(autostart.isPresent());

        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {path});
        QVERIFY(validate.waitForFinished(10000));
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());

        autostart.write(false);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!autostart.isPresent());
        autostart.write(false); // deleting a missing entry is no error
    }

    void hiddenOrEmptyEntriesDoNotCount()
    {
        TestEnvironment env;
        const QString path = XdgAutostart::entryPath();
        env.writeFile(path.mid(env.root().size() + 1),
                      "[Desktop Entry]\nType=Application\nName=K\nExec=/x\nHidden=true\n");
        QVERIFY(!XdgAutostart().isPresent());
        env.writeFile(path.mid(env.root().size() + 1),
                      "[Desktop Entry]\nType=Application\nName=K\nExec=\n");
        QVERIFY(!XdgAutostart().isPresent());
        env.writeFile(path.mid(env.root().size() + 1),
                      "[Other]\nExec=/x\n[Desktop Entry]\nName=K\n");
        QVERIFY(!XdgAutostart().isPresent());
    }

    void failuresNameTheEntryAndTheCause()
    {
        TestEnvironment env;
        // A file where the autostart folder should be holds for root too.
        const QString folder = QFileInfo(XdgAutostart::entryPath()).absolutePath();
        env.writeFile(folder.mid(env.root().size() + 1), "not a folder");
        try {
            XdgAutostart().write(true);
            QFAIL("the write should have failed");
        } catch (const KestrelError& error) {
            QCOMPARE(error.message(), QStringLiteral("Unable to write %1: Not a directory")
                                          .arg(XdgAutostart::entryPath()));
        }
    }

    void execQuoting()
    {
        QCOMPARE(XdgAutostart::quoteExecArgument(QStringLiteral("/opt/my apps/kestrelsolo")),
                 QStringLiteral("\"/opt/my apps/kestrelsolo\""));
        QCOMPARE(XdgAutostart::quoteExecArgument(QStringLiteral("/a$b\"c`d\\e%f")),
                 QStringLiteral("\"/a\\\\$b\\\\\"c\\\\`d\\\\\\\\e%%f\""));
    }

    void scheduleUnits_data()
    {
        QTest::addColumn<QString>("schedule");
        QTest::addColumn<QString>("onCalendar");
        QTest::addColumn<QString>("crontab");
        QTest::newRow("daily") << "daily@07:30"
                               << "*-*-* 07:30:00"
                               << "30 7 * * * ";
        QTest::newRow("daily at midnight") << "daily@0:00"
                                           << "*-*-* 00:00:00"
                                           << "0 0 * * * ";
        QTest::newRow("every hour") << "hours:1"
                                    << "*-*-* 00/1:00:00"
                                    << "0 */1 * * * ";
        QTest::newRow("every 23 hours") << "hours:23"
                                        << "*-*-* 00/23:00:00"
                                        << "0 */23 * * * ";
        QTest::newRow("weekly") << "weekly:Mon,Wed@07:30"
                                << "Mon,Wed *-*-* 07:30:00"
                                << "30 7 * * 1,3 ";
        QTest::newRow("weekend") << "weekly:Sun,Sat@23:59"
                                 << "Sat,Sun *-*-* 23:59:00"
                                 << "59 23 * * 6,0 ";
    }
    void scheduleUnits()
    {
        QFETCH(QString, schedule);
        QFETCH(QString, onCalendar);
        QFETCH(QString, crontab);
        TestEnvironment env;
        const BackUpSchedule parsed = BackUpSchedule::parse(schedule).value();
        QCOMPARE(parsed.onCalendar(), onCalendar);
        QCOMPARE(parsed.crontabLine("/opt/it's 100%/kestrelsolo"),
                 crontab + "'/opt/it'\\''s 100\\%/kestrelsolo' --run --no-shut-down");

        const QString executable = QCoreApplication::applicationFilePath();
        SystemdUnitFiles::write(parsed, "KestrelSolo", executable);
        const QString timer = env.root() + "/home/.config/systemd/user/kestrel-solo.timer";
        QCOMPARE(SystemdUnitFiles::timerPath("KestrelSolo"), timer);
        QFile timerFile(timer);
        QVERIFY(timerFile.open(QIODevice::ReadOnly));
        const QString timerText = QString::fromUtf8(timerFile.readAll());
        for (const QString& line : {"OnCalendar=" + onCalendar, QString("Persistent=true"),
                                    QString("Unit=kestrel-solo.service")})
            QVERIFY2(timerText.contains('\n' + line + '\n'), qPrintable(timerText));

        if (QStandardPaths::findExecutable("systemd-analyze").isEmpty())
            QSKIP("systemd-analyze is not installed");
        const std::optional<QString> calendar = systemdAnalyzeComplaint({"calendar", onCalendar});
        QVERIFY2(!calendar, qPrintable(calendar.value_or(QString())));
        // Checks the units as files, without reaching a running systemd.
        const std::optional<QString> units = systemdAnalyzeComplaint(
            {"verify", "--man=no", timer, SystemdUnitFiles::servicePath("KestrelSolo")});
        QVERIFY2(!units, qPrintable(units.value_or(QString())));

        SystemdUnitFiles::remove("KestrelSolo");
        QVERIFY(!QFile::exists(timer));
        QVERIFY(!QFile::exists(SystemdUnitFiles::servicePath("KestrelSolo")));
        SystemdUnitFiles::remove("KestrelSolo"); // removing missing units is no error
    }

    void timerThroughTheUserManager()
    {
        PrivateDBus bus;
        QVERIFY2(!bus.address().isEmpty(), qPrintable(bus.errorText()));
        bus.exportAsSessionBus();
        TestEnvironment env;
        SystemdUserTimer timer;
        QVERIFY(!timer.available());
        QVERIFY(!timer.nextRun());

        const int manager =
            bus.startMock("org.freedesktop.systemd1",
                          {"--template", KESTREL_TEST_SCRIPTS "/systemd_user_manager.py",
                           "--parameters", "{\"NextElapse\": 1894008600123456}"});
        QVERIFY2(manager >= 0, qPrintable(bus.errorText()));
        QVERIFY(timer.available());
        timer.apply(BackUpSchedule::parse("hours:4").value());
        QVERIFY(QFile::exists(SystemdUnitFiles::timerPath("KestrelSolo")));
        QCOMPARE(timer.nextRun(), QDateTime::fromMSecsSinceEpoch(1894008600123));
        timer.remove();
        QVERIFY(!QFile::exists(SystemdUnitFiles::timerPath("KestrelSolo")));
        QVERIFY(!QFile::exists(SystemdUnitFiles::servicePath("KestrelSolo")));
        const QStringList calls = bus.mockCalls(manager);
        // Loaded, enabled and (re)started; stopped, disabled and unloaded.
        QCOMPARE(calls.filter(QRegularExpression("^(?!Get)")),
                 QStringList({"Reload", "EnableUnitFiles [\"kestrel-solo.timer\"] False True",
                              "RestartUnit \"kestrel-solo.timer\" \"replace\"",
                              "StopUnit \"kestrel-solo.timer\" \"replace\"",
                              "DisableUnitFiles [\"kestrel-solo.timer\"] False", "Reload"}));
    }

    void serviceRunsTheExecutable()
    {
        QCOMPARE(SystemdUnitFiles::unitBaseName("KestrelCD"), "kestrel-cd");
        QVERIFY(SystemdUnitFiles::serviceText("KestrelSolo", "/opt/my apps/k$\"%\\o")
                    .contains("\nType=oneshot\nExecStart=\"/opt/my apps/k$$\\\"%%\\\\o\" --run "
                              "--no-shut-down\n"));
    }
};

QTEST_GUILESS_MAIN(TestXdgAutostart)
#include "tst_xdgautostart.moc"
