#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/ScriptedSmtpServer.h"
#include "support/TestEnvironment.h"
#include "transport/IdMessage.h"
#include "transport/MessageIdentity.h"
#include "transport/WrenSMPTObject.h"
#include "transport/ZipMaster.h"

#include <QRegularExpression>
#include <QTest>

using Action = ScriptedSmtpServer::Action;

// The sending object: settings at creation, and SendZip's promise that the archive
// goes (or stays on failure) and the message never keeps its attachment part.
class TestWrenSMPTObject : public QObject
{
    Q_OBJECT

private:
    static void writeSettings(const QString& host, const QString& user, const QString& password,
                              int port)
    {
        const TQuayRegistryObject settings;
        settings.WriteUserSMPTName(host);
        settings.WriteUserSMPTServerName(user);
        settings.WriteUserSMPTServerPassword(password);
        settings.WriteUserConnectionPort(port);
    }

    static void fill(TIdMessage& message)
    {
        message.From.setText(QStringLiteral("jo@127.0.0.1"));
        message.Recipients.setText(QStringLiteral("one@example.org, two@example.org"));
        message.Subject = QStringLiteral("KestrelSolo Save#1#/home/jo/report.txt");
    }

private Q_SLOTS:
    void createReadsTheSettings_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("storedPort");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("port");
        QTest::newRow("port 0 means 25") << "smtp.example.org"
                                         << "jo"
                                         << "pw" << 0 << true << 25;
        QTest::newRow("port set") << "smtp.example.org"
                                  << "jo"
                                  << "pw" << 2525 << true << 2525;
        QTest::newRow("port out of range") << "smtp.example.org"
                                           << "jo"
                                           << "pw" << 70000 << true << 25;
        // A server that asks for no log-in needs no password.
        QTest::newRow("empty password alone") << "smtp.example.org"
                                              << "jo"
                                              << "" << 2525 << true << 2525;
        QTest::newRow("empty host") << ""
                                    << "jo"
                                    << "pw" << 0 << false << 25;
    }

    void createReadsTheSettings()
    {
        QFETCH(QString, host);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(int, storedPort);
        QFETCH(bool, complete);
        QFETCH(int, port);
        TestEnvironment env;
        writeSettings(host, user, password, storedPort);
        TWrenSMPTObject sender;
        QCOMPARE(env.prompt.notices().isEmpty(), complete);
        if (!complete) {
            QCOMPARE(env.prompt.notices(),
                     QStringList{QStringLiteral("Not all Internet fields are complete.")});
            QVERIFY(sender.session().Host.isEmpty());
            QVERIFY_THROWS_EXCEPTION(KestrelError, sender.Connect());
        } else {
            QCOMPARE(sender.session().Host, host);
            QCOMPARE(sender.session().UserId, user);
        }
        QCOMPARE(sender.session().Port, port);
    }

    void sendZipDeliversAndDeletesTheArchive()
    {
        TestEnvironment env;
        ScriptedSmtpServer server;
        writeSettings(QStringLiteral("127.0.0.1"), QStringLiteral("jo"), QStringLiteral("pw"),
                      server.port());
        const QString zipFolder = TQuayRegistryObject().ReadZipDirectory();
        QVERIFY(QDir().mkpath(zipFolder));
        const QByteArray archive = QByteArray("PK\x03\x04", 4) + QByteArray(5000, 'a');
        QFile file(zipFolder + QStringLiteral("/report-txt.zip"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(archive);
        file.close();

        TWrenSMPTObject sender;
        sender.Connect();
        TIdMessage message;
        fill(message);
        TZipMaster zip;
        zip.SetZipFileName(file.fileName());
        sender.SendZip(message, zip);
        QVERIFY(!file.exists());
        QVERIFY(message.MessageParts.empty());

        const QList<QByteArray> commands = server.commands();
        QVERIFY(commands.contains("RCPT to:<one@example.org>"));
        QVERIFY(commands.contains("RCPT to:<two@example.org>"));
        const QByteArray wire = server.messages().value(0);
        const QByteArray partStart = "filename=\"report-txt.zip\"\r\n\r\n";
        const qsizetype start = wire.indexOf(partStart) + partStart.size();
        const qsizetype end = wire.indexOf("\r\n\r\n--=_NextPart", start);
        QCOMPARE(QByteArray::fromBase64(wire.mid(start, end - start).replace("\r\n", "")), archive);
        // A set of one: its identifier, and a Message-ID at the sender's domain.
        const QRegularExpression note(QStringLiteral("\r\nX-Kestrel-Set: ([0-9a-f]{32})\r\n"
                                                     "Message-ID: <\\1\\.1\\.1@(\\S+)>\r\n"));
        const QRegularExpressionMatch noteMatch = note.match(QString::fromLatin1(wire));
        QVERIFY2(noteMatch.hasMatch(), wire.left(wire.indexOf("\r\n\r\n")).constData());
        QCOMPARE(noteMatch.captured(2), MessageIdentity::domainOf(message.From.Address));

        // The next message over the same session carries no part, and an identity of
        // its own, not the note's.
        message.Subject = QStringLiteral("Kestrel Request#1");
        sender.Send(message);
        const QString request = QString::fromLatin1(server.messages().value(1));
        QVERIFY(!request.contains(QLatin1String("MIME-Version")));
        QVERIFY(!request.contains(QLatin1String("X-Kestrel-Set")));
        QVERIFY(
            request.contains(QRegularExpression(QStringLiteral("\r\nMessage-ID: <[0-9a-f]{32}@"))));
        QVERIFY(!request.contains(noteMatch.captured(1)));
        sender.Disconnect();
    }

    void sendZipFailureKeepsTheArchive_data()
    {
        QTest::addColumn<int>("failure");
        QTest::newRow("connection dropped while sending") << 0;
        QTest::newRow("recipient refused") << 1;
        QTest::newRow("archive missing") << 2;
        QTest::newRow("zip folder missing") << 3;
        QTest::newRow("not connected") << 4;
    }

    void sendZipFailureKeepsTheArchive()
    {
        QFETCH(int, failure);
        TestEnvironment env;
        ScriptedSmtpServer server;
        writeSettings(QStringLiteral("127.0.0.1"), QStringLiteral("jo"), QStringLiteral("pw"),
                      server.port());
        const QString zipFolder = TQuayRegistryObject().ReadZipDirectory();
        if (failure != 3)
            QVERIFY(QDir().mkpath(zipFolder));
        const QString archive = zipFolder + QStringLiteral("/report-txt.zip");
        if (failure < 2 || failure == 4) {
            QFile file(archive);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(4 * 1024 * 1024));
        }
        if (failure == 0)
            server.dropAfterDataBytes(64 * 1024);
        if (failure == 1)
            server.script("RCPT", "550 mailbox unavailable\r\n");

        TWrenSMPTObject sender;
        if (failure != 4)
            sender.Connect();
        TIdMessage message;
        fill(message);
        QVERIFY_THROWS_EXCEPTION(KestrelError,
                                 sender.SendZip(message, QStringLiteral("report-txt.zip")));
        QVERIFY(message.MessageParts.empty());
        QCOMPARE(QFile::exists(archive), failure < 2 || failure == 4);
        QCOMPARE(sender.Connected(), failure == 1 || failure == 2 || failure == 3);
        QVERIFY(server.messages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWrenSMPTObject)
#include "tst_wrensmptobject.moc"
