#include "core/QuayRegistryObject.h"
#include "support/FilePermissionsEnforced.h"
#include "support/LoopbackMailSettings.h"
#include "support/PrivateDBus.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "ui/FileSelectionPage.h"
#include "ui/QuayShutDown.h"
#include "ui/SummaryPage.h"
#include "ui/frmKestrelClientMain.h"
#include "winintegration/GnomeSessionClient.h"

#include <QApplication>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The shut-down countdown and the backup when the session ends, through the real main
// window: sequences mail to a real SMTP server on loopback, the session manager is a
// fake on a bus of the test's own, and the power-off is the recording fake.
class TestShutDown : public QObject
{
    Q_OBJECT

private:
    PrivateDBus m_bus;
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<SmtpSink> sink;
    std::unique_ptr<TfrmKestrelClientMain> window;

    static QList<TQuayShutDown*> countdowns()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QList<TQuayShutDown*> found;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* countdown = qobject_cast<TQuayShutDown*>(widget))
                found << countdown;
        return found;
    }

    void seconds(int count)
    {
        for (int i = 0; i < count; ++i)
            env->clock.advance(1000);
    }

    qsizetype powerOffs() const { return env->powerOff.calls().count(QStringLiteral("power off")); }

    // A window with one small file to back up, mailed to the loopback server.
    void openWindowWithAFile(bool withUnreadable = false)
    {
        const QString mail = env->path(QStringLiteral("mail/"));
        QDir().mkpath(mail);
        sink = std::make_unique<SmtpSink>(QStringLiteral(KESTREL_TEST_SCRIPTS), mail,
                                          SmtpSink::Options{});
        QVERIFY2(sink->port() != 0, qPrintable(sink->errorText()));
        storeLoopbackMailSettings(sink->port());
        TQuayRegistryObject().WriteMaxNumberOfBytesToBackedUp(100e6);
        window = std::make_unique<TfrmKestrelClientMain>();
        window->show();
        env->prompt.queueFiles(
            QStringList{env->writeFile(QStringLiteral("data/report.txt"), "quarterly")});
        window->fileSelectionPage->browse();
        if (withUnreadable)
            addUnreadableFile();
    }

    // A file the sequence cannot read: it fails, but is not cancelled.
    void addUnreadableFile()
    {
        const QString file = env->writeFile(QStringLiteral("data/locked.txt"), "private");
        env->prompt.queueFiles(QStringList{file});
        window->fileSelectionPage->browse();
        QFile::setPermissions(file, QFileDevice::Permissions());
    }

    // Runs a sequence as "Run Back Up Now" does, reading files as an ordinary user.
    void runSequence()
    {
        const FilePermissionsEnforced asAUser;
        QTest::mouseClick(window->summaryPage->btnRunBackUp, Qt::LeftButton);
    }

    bool mailed() const { return sink && QFile::exists(sink->messagePath(1)); }

    bool emitToSessionClient(const QString& signal)
    {
        QDBusInterface mock(QStringLiteral("org.gnome.SessionManager"),
                            QStringLiteral("/org/gnome/SessionManager/Client1"),
                            QStringLiteral("org.freedesktop.DBus.Mock"), m_bus.connection());
        const QDBusReply<void> reply = mock.call(
            QStringLiteral("EmitSignal"), QStringLiteral("org.gnome.SessionManager.ClientPrivate"),
            signal, QStringLiteral("u"), QVariantList{QVariant::fromValue(QDBusVariant(0u))});
        return reply.isValid();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!m_bus.address().isEmpty(), qPrintable(m_bus.errorText()));
        // Before the first window asks the session bus for a session manager.
        m_bus.exportAsSessionBus();
    }

    void init()
    {
        env = std::make_unique<TestEnvironment>();
        TQuayRegistryObject().WriteWizzardRun(true);
    }

    void cleanup()
    {
        QVERIFY(env->prompt.unexpected().isEmpty());
        window.reset();
        QVERIFY(countdowns().isEmpty());
        sink.reset();
        env.reset();
    }

    void theCountdownWindow_data()
    {
        QTest::addColumn<QString>("edition");
        QTest::addColumn<QString>("caption");
        QTest::newRow("KestrelSolo") << "KestrelSolo"
                                     << "KestrelSolo Shut Down";
        QTest::newRow("KestrelClient") << "KestrelClient"
                                       << "Kestrel Shut Down";
        QTest::newRow("KestrelCD") << "KestrelCD"
                                   << "KestrelCD Shut Down";
        QTest::newRow("KestrelDrive") << "KestrelDrive"
                                      << "KestrelDrive Shut Down";
    }

    void theCountdownWindow()
    {
        QFETCH(QString, edition);
        QFETCH(QString, caption);
        // The edition is the application's name, which a scope's environment puts back.
        env.reset();
        env = std::make_unique<TestEnvironment>(edition);
        const QPointer<TQuayShutDown> countdown = new TQuayShutDown;
        countdown->show();
        QCOMPARE(countdown->windowTitle(), caption);
        const Qt::WindowFlags flags = countdown->windowFlags();
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(countdown->findChild<QLabel*>("lblShutDownIn")->text(),
                 QStringLiteral("Computer will be shut down in "));
        QCOMPARE(countdown->lblTime->text(), QStringLiteral("30"));
        QVERIFY(countdown->lblTime->font().bold());
        QCOMPARE(countdown->findChild<QLabel*>("lblSeconds")->text(), QStringLiteral("seconds."));
        QCOMPARE(countdown->btnCancel->text(), QStringLiteral("Cancel"));
        QVERIFY(countdown->btnCancel->isDefault());
        QCOMPARE(countdown->countdown().timer().interval(), 1000);
        // It counts down to 0 and asks for the power-off on that tick, then goes.
        seconds(29);
        QCOMPARE(countdown->lblTime->text(), QStringLiteral("1"));
        QCOMPARE(powerOffs(), 0);
        seconds(1);
        QCOMPARE(powerOffs(), 1);
        QVERIFY(countdowns().isEmpty());
        QVERIFY(countdown.isNull());
    }

    void everyWayOfClosingCancels_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "Cancel";
        QTest::newRow("the desktop's close") << "close";
        QTest::newRow("Escape") << "Escape";
    }

    void everyWayOfClosingCancels()
    {
        QFETCH(QString, how);
        const QPointer<TQuayShutDown> countdown = new TQuayShutDown;
        countdown->show();
        seconds(12);
        QCOMPARE(countdown->lblTime->text(), QStringLiteral("18"));
        if (how == QLatin1String("Cancel"))
            QTest::mouseClick(countdown->btnCancel, Qt::LeftButton);
        else if (how == QLatin1String("close"))
            countdown->close();
        else
            QTest::keyClick(countdown.data(), Qt::Key_Escape);
        QVERIFY(countdowns().isEmpty());
        seconds(60);
        QCOMPARE(powerOffs(), 0);
    }

    void aRefusedPowerOffIsToldOnce()
    {
        env->powerOff.result = QStringLiteral("AdjustTokenPrivileges enable failed.");
        auto* countdown = new TQuayShutDown;
        countdown->show();
        seconds(30);
        QCOMPARE(env->prompt.notices(),
                 QStringList{QStringLiteral("AdjustTokenPrivileges enable failed.")});
        QVERIFY(countdowns().isEmpty());
        seconds(30);
        QCOMPARE(powerOffs(), 1);
    }

    void afterASequenceWithShutDownSet()
    {
        TQuayRegistryObject().WriteShutDown(true);
        openWindowWithAFile();
        QTest::mouseClick(window->summaryPage->btnRunBackUp, Qt::LeftButton);
        QVERIFY(mailed());
        // A success opens the countdown at once; a second request keeps that one.
        QCOMPARE(countdowns().size(), 1);
        Q_EMIT window->shutDownCountdownRequested();
        QCOMPARE(countdowns().size(), 1);
        QVERIFY(env->dialUp.calls().contains(QStringLiteral("hang up")));
        QTest::mouseClick(countdowns().first()->btnCancel, Qt::LeftButton);
        QVERIFY(countdowns().isEmpty());

        // A failure leaves the user thirty seconds before the countdown opens.
        addUnreadableFile();
        runSequence();
        env->clock.advance(29999);
        QVERIFY(countdowns().isEmpty());
        env->clock.advance(1);
        QCOMPARE(countdowns().size(), 1);
        seconds(30);
        QCOMPARE(powerOffs(), 1);
    }

    void theSessionEndsAfterABackUp()
    {
        const int manager =
            m_bus.startMock(QStringLiteral("org.gnome.SessionManager"),
                            {QStringLiteral("--template"),
                             QStringLiteral(KESTREL_TEST_SCRIPTS "/gnome_session_manager.py")});
        QVERIFY2(manager >= 0, qPrintable(m_bus.errorText()));
        TQuayRegistryObject().WriteRunSequenceOnWindowsShutDown(true);
        openWindowWithAFile();
        QVERIFY(window->sessionEndCanBeHeld());
        QTRY_VERIFY(window->sessionClient()->isRegistered());
        const auto answers = [&] {
            return m_bus.mockCalls(manager).filter(QStringLiteral("EndSessionResponse"));
        };

        // The first query is refused; the sequence starts two seconds later.
        QVERIFY(emitToSessionClient(QStringLiteral("QueryEndSession")));
        QTRY_COMPARE(answers().size(), 1);
        QVERIFY2(answers().at(0).startsWith(QLatin1String("EndSessionResponse False")),
                 qPrintable(answers().at(0)));
        env->clock.advance(1999);
        QVERIFY(!mailed());
        env->clock.advance(1);
        QVERIFY(mailed());
        QVERIFY(window->isMaximized());
        // It succeeded: the countdown is open and the mark already cleared, although
        // "Shut Down After Back Up Complete" is off.
        QVERIFY(!TQuayRegistryObject().ReadShutDown());
        QCOMPARE(countdowns().size(), 1);
        QVERIFY(!window->runState.ShutDownTriggered);
        seconds(30);
        QCOMPARE(powerOffs(), 1);
        m_bus.stopMock(manager);
    }

    void aQueryDuringTheTriggeredSequenceIsAllowed()
    {
        TQuayRegistryObject().WriteRunSequenceOnWindowsShutDown(true);
        openWindowWithAFile(true);
        QVERIFY(!window->QueryEndSession());
        {
            const FilePermissionsEnforced asAUser;
            seconds(2);
        }
        QVERIFY(env->dialUp.calls().contains(QStringLiteral("dial")));
        QCOMPARE(TQuayRegistryObject().ReadBackUpSequenceSuccess(), false);
        // The sequence failed: the mark stays set through the 30 s delay, and the
        // session may end meanwhile.
        QVERIFY(window->runState.ShutDownTriggered);
        QVERIFY(window->QueryEndSession());
        seconds(30);
        QCOMPARE(countdowns().size(), 1);
        QVERIFY(!window->runState.ShutDownTriggered);
        // With the mark cleared, the next query is refused again.
        QTest::mouseClick(countdowns().first()->btnCancel, Qt::LeftButton);
        QVERIFY(!window->QueryEndSession());
    }
};

QTEST_MAIN(TestShutDown)
#include "tst_shutdown.moc"
