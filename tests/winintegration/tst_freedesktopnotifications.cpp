#include "support/PrivateDBus.h"
#include "winintegration/FreedesktopNotifications.h"

#include <QCoreApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFile>
#include <QTemporaryDir>
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

    // Makes the mock's Notify answer only once the file gate exists (or after ten
    // seconds), making the file answered just before it does.
    bool answerNotifyWhenOpened(const QString& gate, const QString& answered)
    {
        QDBusInterface mock(QStringLiteral("org.freedesktop.Notifications"),
                            QStringLiteral("/org/freedesktop/Notifications"),
                            QStringLiteral("org.freedesktop.DBus.Mock"), m_bus.connection());
        const QDBusReply<void> reply = mock.call(
            QStringLiteral("AddMethod"), QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("Notify"), QStringLiteral("susssasa{sv}i"), QStringLiteral("u"),
            QStringLiteral("import os, time\n"
                           "for _ in range(1000):\n"
                           "    if os.path.exists('%1'):\n"
                           "        break\n"
                           "    time.sleep(0.01)\n"
                           "open('%2', 'w').close()\n"
                           "ret = 1")
                .arg(gate, answered));
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
        QTemporaryDir folder;
        const QString gate = folder.filePath(QStringLiteral("gate"));
        const QString answered = folder.filePath(QStringLiteral("answered"));
        QVERIFY(answerNotifyWhenOpened(gate, answered));
        {
            FreedesktopNotifications notifications;
            notifications.notify(QStringLiteral("slow"), QStringLiteral("daemon"));
            // The daemon holds its answer until the gate opens: notify() did not wait.
            QTRY_COMPARE(notifyCalls(daemon).size(), 1);
            QVERIFY(notifications.hasPendingCalls());
            QVERIFY(!QFile::exists(answered));
            QFile opened(gate);
            QVERIFY(opened.open(QIODevice::WriteOnly));
        }
        // Gone only once the answer came.
        QVERIFY(QFile::exists(answered));
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
