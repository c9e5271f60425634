#include "support/PrivateDBus.h"
#include "winintegration/FreedesktopNotifications.h"

#include <QCoreApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QtTest>

// Notifications through a mock notification daemon on a session bus of the test's
// own: the arguments of Notify, that the caller never waits for the daemon, and that
// without a daemon nothing happens but one warning.
class TestFreedesktopNotifications : public QObject
{
    Q_OBJECT

private:
    PrivateDBus m_bus;

    int startDaemon()
    {
        return m_bus.startMock(
            QStringLiteral("org.freedesktop.Notifications"),
            {QStringLiteral("--template"), QStringLiteral("notification_daemon")});
    }

    // Makes the mock's Notify take this long to answer.
    bool answerNotifyAfter(int seconds)
    {
        QDBusInterface mock(QStringLiteral("org.freedesktop.Notifications"),
                            QStringLiteral("/org/freedesktop/Notifications"),
                            QStringLiteral("org.freedesktop.DBus.Mock"), m_bus.connection());
        const QDBusReply<void> reply =
            mock.call(QStringLiteral("AddMethod"), QStringLiteral("org.freedesktop.Notifications"),
                      QStringLiteral("Notify"), QStringLiteral("susssasa{sv}i"),
                      QStringLiteral("u"), QStringLiteral("time.sleep(%1)\nret = 1").arg(seconds));
        return reply.isValid();
    }

    QStringList notifyCalls(int daemon) const
    {
        return m_bus.mockCalls(daemon).filter(QRegularExpression(QStringLiteral("^Notify ")));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!m_bus.address().isEmpty(), qPrintable(m_bus.errorText()));
        // Set before the first use of the session bus in this process.
        m_bus.exportAsSessionBus();
        QCoreApplication::setApplicationName(QStringLiteral("KestrelDrive"));
    }

    void notifyNamesTheEditionAndItsIcon()
    {
        const int daemon = startDaemon();
        QVERIFY2(daemon >= 0, qPrintable(m_bus.errorText()));
        {
            FreedesktopNotifications notifications;
            notifications.notify(QStringLiteral("KestrelDrive: back up complete"),
                                 QStringLiteral("2 files backed up, 5120 bytes sent."));
            // app_name, replaces_id, app_icon, summary, body, actions, hints, timeout.
            QTRY_COMPARE(notifyCalls(daemon),
                         QStringList{QStringLiteral(
                             "Notify \"KestrelDrive\" 0 \"kestreldrive\" \"KestrelDrive: back up "
                             "complete\" \"2 files backed up, 5120 bytes sent.\" [] "
                             "{\"desktop-entry\": \"kestreldrive\"} -1")});
        }
        m_bus.stopMock(daemon);
    }

    // The window's thread goes on while the daemon takes its time; the answer is
    // still awaited before the service goes, so a program that ends at once after
    // its sequence still delivers the notification.
    void notifyReturnsBeforeTheDaemonAnswers()
    {
        const int daemon = startDaemon();
        QVERIFY2(daemon >= 0, qPrintable(m_bus.errorText()));
        QVERIFY(answerNotifyAfter(3));
        QElapsedTimer sinceDestroyed;
        {
            FreedesktopNotifications notifications;
            QElapsedTimer timer;
            timer.start();
            notifications.notify(QStringLiteral("slow"), QStringLiteral("daemon"));
            QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
            sinceDestroyed.start();
        }
        QVERIFY2(sinceDestroyed.elapsed() >= 1000,
                 qPrintable(QString::number(sinceDestroyed.elapsed())));
        QCOMPARE(notifyCalls(daemon).size(), 1);
        m_bus.stopMock(daemon);
    }

    void withoutADaemonNothingButOneWarning()
    {
        QVERIFY(!m_bus.isOwned(QStringLiteral("org.freedesktop.Notifications")));
        const QRegularExpression warning(QStringLiteral("^Desktop notifications are not shown"));
        QTest::ignoreMessage(QtWarningMsg, warning);
        QTest::failOnWarning(warning);
        FreedesktopNotifications notifications;
        notifications.notify(QStringLiteral("first"), QStringLiteral("lost"));
        notifications.notify(QStringLiteral("second"), QStringLiteral("lost"));
        // The bus answers at once that nobody owns the name.
        QTRY_VERIFY(!notifications.hasPendingCalls());
    }
};

QTEST_GUILESS_MAIN(TestFreedesktopNotifications)
#include "tst_freedesktopnotifications.moc"
