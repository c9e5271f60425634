#include "support/PrivateDBus.h"
#include "winintegration/LogindPowerOff.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QtTest>

// Power-off through a mock logind on a bus of the test's own: what is asked of logind,
// and how each of its answers becomes one of the program's messages.
class TestLogindPowerOff : public QObject
{
    Q_OBJECT

private:
    PrivateDBus m_bus;

    int startLogind(const QString& canPowerOff)
    {
        return m_bus.startMock(QStringLiteral("org.freedesktop.login1"),
                               {QStringLiteral("--system"), QStringLiteral("--template"),
                                QStringLiteral("logind"), QStringLiteral("--parameters"),
                                QStringLiteral("{\"CanPowerOff\": \"%1\"}").arg(canPowerOff)});
    }

    // Makes the mock's PowerOff fail with the named D-Bus error.
    bool failPowerOffWith(const QString& errorName)
    {
        QDBusInterface mock(QStringLiteral("org.freedesktop.login1"),
                            QStringLiteral("/org/freedesktop/login1"),
                            QStringLiteral("org.freedesktop.DBus.Mock"), m_bus.connection());
        const QDBusReply<void> reply =
            mock.call(QStringLiteral("AddMethod"), QStringLiteral("org.freedesktop.login1.Manager"),
                      QStringLiteral("PowerOff"), QStringLiteral("b"), QString(),
                      QStringLiteral("raise dbus.exceptions.DBusException('refused', name='%1')")
                          .arg(errorName));
        return reply.isValid();
    }

    static bool poweredOff(const QStringList& calls)
    {
        return calls.contains(QStringLiteral("PowerOff False"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!m_bus.address().isEmpty(), qPrintable(m_bus.errorText()));
        // Set before the first use of the system bus in this process.
        m_bus.exportAsSystemBus();
    }

    void asksLogindToPowerOffWithoutAskingPrograms()
    {
        const int logind = startLogind(QStringLiteral("yes"));
        QVERIFY2(logind >= 0, qPrintable(m_bus.errorText()));
        QCOMPARE(LogindPowerOff().powerOff(), QString());
        const QStringList calls = m_bus.mockCalls(logind);
        QVERIFY2(calls.contains(QStringLiteral("CanPowerOff")), qPrintable(calls.join('|')));
        // false: not interactive; logind then asks no program and no user.
        QVERIFY2(poweredOff(calls), qPrintable(calls.join('|')));
        m_bus.stopMock(logind);
    }

    void refusalsAndFaultsBecomeTheDesignedMessages_data()
    {
        QTest::addColumn<QString>("canPowerOff");
        QTest::addColumn<QString>("powerOffError");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("powerOffAsked");
        const QString noRights = QStringLiteral("No rights to continue");
        QTest::newRow("CanPowerOff no") << "no" << QString() << noRights << false;
        QTest::newRow("CanPowerOff challenge") << "challenge" << QString() << noRights << false;
        QTest::newRow("access denied")
            << "yes"
            << "org.freedesktop.DBus.Error.AccessDenied" << noRights << true;
        QTest::newRow("authorisation needed")
            << "yes"
            << "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" << noRights << true;
        QTest::newRow("any other fault") << "yes"
                                         << "org.freedesktop.login1.OperationInProgress"
                                         << "AdjustTokenPrivileges enable failed." << true;
    }

    void refusalsAndFaultsBecomeTheDesignedMessages()
    {
        QFETCH(QString, canPowerOff);
        QFETCH(QString, powerOffError);
        QFETCH(QString, message);
        QFETCH(bool, powerOffAsked);
        const int logind = startLogind(canPowerOff);
        QVERIFY2(logind >= 0, qPrintable(m_bus.errorText()));
        if (!powerOffError.isEmpty())
            QVERIFY(failPowerOffWith(powerOffError));
        QCOMPARE(LogindPowerOff().powerOff(), message);
        // A refusal by CanPowerOff never goes on to ask for the power-off.
        QCOMPARE(poweredOff(m_bus.mockCalls(logind)), powerOffAsked);
        m_bus.stopMock(logind);
    }

    void noLogindOnTheBus()
    {
        QVERIFY(!m_bus.isOwned(QStringLiteral("org.freedesktop.login1")));
        QCOMPARE(LogindPowerOff().powerOff(), QStringLiteral("OpenProcessToken failed."));
    }
};

QTEST_GUILESS_MAIN(TestLogindPowerOff)
#include "tst_logindpoweroff.moc"
