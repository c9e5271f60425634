#include "support/PrivateDBus.h"
#include "winintegration/GnomeSessionClient.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QtTest>

// The program as a client of a fake session manager with GNOME's client interface, on
// a session bus of the test's own. Each case that needs the session manager starts
// one of its own.
class TestGnomeSessionClient : public QObject
{
    Q_OBJECT

private:
    PrivateDBus m_bus;
    int m_manager = -1;
    QList<bool> m_answers;
    bool m_allow = false;
    // Barrier signals the test heard on the client's connection.
    int m_barriersHeard = 0;

    bool startManager()
    {
        m_manager =
            m_bus.startMock(QStringLiteral("org.gnome.SessionManager"),
                            {QStringLiteral("--template"),
                             QStringLiteral(KESTREL_TEST_SCRIPTS "/gnome_session_manager.py")});
        return m_manager >= 0;
    }

    std::unique_ptr<GnomeSessionClient> makeClient()
    {
        return std::make_unique<GnomeSessionClient>([this] {
            m_answers << m_allow;
            return m_allow;
        });
    }

    // Makes the session manager send one of its signals to the client.
    bool emitToClient(const QString& signal, const QString& signature, const QVariantList& args)
    {
        QDBusInterface mock(QStringLiteral("org.gnome.SessionManager"),
                            QStringLiteral("/org/gnome/SessionManager/Client1"),
                            QStringLiteral("org.freedesktop.DBus.Mock"), m_bus.connection());
        QVariantList wrapped;
        for (const QVariant& arg : args)
            wrapped << QVariant::fromValue(QDBusVariant(arg));
        const QDBusReply<void> reply = mock.call(
            QStringLiteral("EmitSignal"), QStringLiteral("org.gnome.SessionManager.ClientPrivate"),
            signal, signature, wrapped);
        return reply.isValid();
    }

    QStringList calls() const { return m_bus.mockCalls(m_manager); }
    QStringList answers() const { return calls().filter(QStringLiteral("EndSessionResponse")); }

    // Makes the test hear barrier signals to the client on the client's connection.
    bool hearBarriers(bool hear)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QString service = QStringLiteral("org.gnome.SessionManager");
        const QString path = QStringLiteral("/org/gnome/SessionManager/Client1");
        const QString interface = QStringLiteral("org.gnome.SessionManager.ClientPrivate");
        const QString name = QStringLiteral("Barrier");
        const char* slot = SLOT(onBarrier());
        return hear ? bus.connect(service, path, interface, name, this, slot)
                    : bus.disconnect(service, path, interface, name, this, slot);
    }

    // Returns once the client has handled every signal sent to it so far and the
    // session manager has logged every answer it gave. A connection hands its signals
    // over in order, so once the test hears a barrier sent last, the client has had
    // the earlier ones; a call on the client's connection then reaches the session
    // manager after the client's answers.
    bool settle()
    {
        const int heard = m_barriersHeard;
        if (!emitToClient(QStringLiteral("Barrier"), QString(), {}) ||
            !QTest::qWaitFor([&] { return m_barriersHeard > heard; }))
            return false;
        const QDBusMessage ping = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.SessionManager"), QStringLiteral("/org/gnome/SessionManager"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        return ping.type() == QDBusMessage::ReplyMessage;
    }

public Q_SLOTS:
    void onBarrier() { ++m_barriersHeard; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!m_bus.address().isEmpty(), qPrintable(m_bus.errorText()));
        // Before the first use of the session bus in this process.
        m_bus.exportAsSessionBus();
        QCoreApplication::setApplicationName(QStringLiteral("KestrelSolo"));
    }

    void init()
    {
        m_manager = -1;
        m_answers.clear();
        m_allow = false;
        m_barriersHeard = 0;
    }

    void cleanup()
    {
        hearBarriers(false);
        m_bus.stopMock(m_manager);
    }

    void withoutASessionManagerNothingIsRegistered()
    {
        // A session manager of another case may take a moment to leave the bus.
        QTRY_VERIFY(!GnomeSessionClient::isAvailable());
        const auto client = makeClient();
        QSignalSpy changed(client.get(), &GnomeSessionClient::registeredChanged);
        // Without a session manager nothing is asked of the bus, so nothing can follow.
        client->setRegistered(true);
        QVERIFY(!client->isRegistered());
        QVERIFY(changed.isEmpty());
    }

    void theFirstQueryIsRefusedAndLaterOnesFollowTheAnswer()
    {
        QVERIFY2(startManager(), qPrintable(m_bus.errorText()));
        QVERIFY(GnomeSessionClient::isAvailable());
        QVERIFY(hearBarriers(true));

        qputenv("DESKTOP_AUTOSTART_ID", "autostart-42");
        const auto client = makeClient();
        client->setRegistered(true);
        QTRY_VERIFY(client->isRegistered());
        // The session's autostart id goes back to it once, and no child inherits it.
        QVERIFY2(
            calls().contains(QStringLiteral("RegisterClient \"kestrelsolo\" \"autostart-42\"")),
            qPrintable(calls().join('|')));
        QVERIFY(qEnvironmentVariableIsEmpty("DESKTOP_AUTOSTART_ID"));

        m_allow = false;
        QVERIFY(emitToClient(QStringLiteral("QueryEndSession"), QStringLiteral("u"), {0u}));
        QTRY_COMPARE(answers().size(), 1);
        QVERIFY2(answers().at(0).startsWith(QLatin1String("EndSessionResponse False")),
                 qPrintable(answers().at(0)));
        QVERIFY(answers().at(0).contains(QLatin1String("Backing up")));

        m_allow = true;
        QVERIFY(emitToClient(QStringLiteral("QueryEndSession"), QStringLiteral("u"), {0u}));
        QTRY_COMPARE(answers().size(), 2);
        QVERIFY(answers().at(1).startsWith(QLatin1String("EndSessionResponse True")));
        QCOMPARE(m_answers, (QList<bool>{false, true}));

        // The end itself is always let go at once, without asking again.
        m_allow = false;
        QVERIFY(emitToClient(QStringLiteral("EndSession"), QStringLiteral("u"), {0u}));
        QTRY_COMPARE(answers().size(), 3);
        QVERIFY(answers().at(2).startsWith(QLatin1String("EndSessionResponse True")));
        QCOMPARE(m_answers.size(), 2);

        QSignalSpy stop(client.get(), &GnomeSessionClient::stopRequested);
        QVERIFY(emitToClient(QStringLiteral("Stop"), QString(), {}));
        QTRY_COMPARE(stop.size(), 1);

        // Turned off: the client leaves, and a later query is not its business.
        client->setRegistered(false);
        QVERIFY(!client->isRegistered());
        QTRY_VERIFY(calls().contains(
            QStringLiteral("UnregisterClient \"/org/gnome/SessionManager/Client1\"")));
        QVERIFY(emitToClient(QStringLiteral("QueryEndSession"), QStringLiteral("u"), {0u}));
        QVERIFY(settle());
        QCOMPARE(answers().size(), 3);
    }

    void turnedOffWhileRegisteringLeavesAgain()
    {
        QVERIFY2(startManager(), qPrintable(m_bus.errorText()));
        const auto client = makeClient();
        client->setRegistered(true);
        client->setRegistered(false);
        QTRY_COMPARE(calls().filter(QStringLiteral("UnregisterClient")).size(), 1);
        QVERIFY(!client->isRegistered());
    }
};

QTEST_GUILESS_MAIN(TestGnomeSessionClient)
#include "tst_gnomesessionclient.moc"
