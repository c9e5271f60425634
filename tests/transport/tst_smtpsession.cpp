#include "core/KestrelError.h"
#include "support/ScriptedSmtpServer.h"
#include "support/SmtpSink.h"
#include "transport/IdMessage.h"
#include "transport/IdSMTP.h"
#include "transport/SmtpProblemText.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QSslKey>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using Action = ScriptedSmtpServer::Action;

// The SMTP conversation against a scripted server: command words, reply reading,
// fall-back to Helo, failures before and after "Data", time-outs and dropped
// connections.
class TestSmtpSession : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QSslCertificate m_certificate;
    QSslKey m_key;

    static void configure(TIdSMTP& session, const ScriptedSmtpServer& server)
    {
        session.Host = QStringLiteral("127.0.0.1");
        session.Port = server.port();
        session.setConnectTimeoutMs(5000);
        session.setReplyTimeoutMs(5000);
    }

    static void fill(TIdMessage& message)
    {
        message.From.setText(QStringLiteral("jo@smtp.example.org"));
        message.Recipients.setText(
            QStringLiteral("Backup <backup@example.org>, second@example.org"));
        message.Subject = QStringLiteral("KestrelSolo Save#1#/home/jo/a.txt");
    }

    static QString errorOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const KestrelError& error) {
            return error.message();
        }
        return {};
    }

    QString bigFile(qint64 size)
    {
        const QString path = m_dir.filePath(QStringLiteral("big-%1.zip").arg(size));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            qFatal("cannot make test file");
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString certificateFile;
        QString keyFile;
        QVERIFY(SmtpSink::makeCertificate(m_dir.path(), &certificateFile, &keyFile));
        m_certificate = QSslCertificate::fromPath(certificateFile).value(0);
        QFile key(keyFile);
        QVERIFY(key.open(QIODevice::ReadOnly));
        m_key = QSslKey(key.readAll(), QSsl::Rsa);
        QVERIFY(!m_certificate.isNull() && !m_key.isNull());
    }

    void conversationOfTwoMessages()
    {
        ScriptedSmtpServer server;
        TIdSMTP session;
        configure(session, server);
        session.Connect();
        QVERIFY(session.Connected());
        TIdMessage message;
        fill(message);
        message.Body = QStringList{QStringLiteral(".hidden line"), QStringLiteral(".")};
        session.Send(message);
        message.CCList.setText(QStringLiteral("cc@example.org"));
        message.BccList.setText(QStringLiteral("bcc@example.org"));
        session.Send(message);
        session.Disconnect();
        QVERIFY(!session.Connected());
        QVERIFY(server.waitFor("Quit"));

        const QByteArray host = QHostInfo::localHostName().left(250).toUtf8();
        const QList<QByteArray> expected = {"ehlo " + host,
                                            "Rset",
                                            "Mail from:<jo@smtp.example.org>",
                                            "RCPT to:<backup@example.org>",
                                            "RCPT to:<second@example.org>",
                                            "Data",
                                            ".",
                                            "Rset",
                                            "Mail from:<jo@smtp.example.org>",
                                            "RCPT to:<backup@example.org>",
                                            "RCPT to:<second@example.org>",
                                            "RCPT to:<cc@example.org>",
                                            "RCPT to:<bcc@example.org>",
                                            "Data",
                                            ".",
                                            "Quit"};
        QCOMPARE(server.commands(), expected);
        const QByteArray first = server.messages().value(0);
        QVERIFY(first.contains("\r\n\r\n..hidden line\r\n..\r\n"));
        QVERIFY(!server.messages().value(1).contains("bcc@example.org"));
    }

    void replyReading_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("ehloReply");
        QTest::addColumn<QByteArray>("heloReply");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QList<QByteArray>>("commandWords");
        QTest::newRow("three-line reply")
            << QByteArray("220 hi\r\n") << QByteArray("250-one\r\n250-two\r\n250 three\r\n")
            << QByteArray() << true << QList<QByteArray>{"ehlo"};
        QTest::newRow("blank lines between reply lines")
            << QByteArray("\r\n  \r\n220-hi\r\n\r\n220 there\n")
            << QByteArray("250-a\r\n\r\n250 b\r\n") << QByteArray() << true
            << QList<QByteArray>{"ehlo"};
        QTest::newRow("ehlo refused, helo accepted")
            << QByteArray("220 hi\r\n") << QByteArray("500 what?\r\n") << QByteArray("250 ok\r\n")
            << true << QList<QByteArray>{"ehlo", "Helo"};
        QTest::newRow("ehlo and helo refused")
            << QByteArray("220 hi\r\n") << QByteArray("500 what?\r\n") << QByteArray("501 no\r\n")
            << false << QList<QByteArray>{"ehlo", "Helo", "Quit"};
        QTest::newRow("greeting other than 220")
            << QByteArray("554 go away\r\n") << QByteArray() << QByteArray() << false
            << QList<QByteArray>{"Quit"};
        // The text after the last line's code is optional: "250" alone ends the reply.
        QTest::newRow("bare code ends a multi-line reply")
            << QByteArray("220 hi\r\n") << QByteArray("250-one\r\n250-SIZE 1000\r\n250\r\n")
            << QByteArray() << true << QList<QByteArray>{"ehlo"};
        QTest::newRow("lower-case continuation terminator")
            << QByteArray("220-hi\r\n220 x\r\n") << QByteArray("25A-odd\r\n25a done\r\n")
            << QByteArray("250 ok\r\n") << true << QList<QByteArray>{"ehlo", "Helo"};
    }

    void replyReading()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, ehloReply);
        QFETCH(QByteArray, heloReply);
        QFETCH(bool, opens);
        QFETCH(QList<QByteArray>, commandWords);
        ScriptedSmtpServer server;
        server.setGreeting(greeting);
        if (!ehloReply.isEmpty())
            server.script("ehlo", ehloReply);
        if (!heloReply.isEmpty())
            server.script("Helo", heloReply);
        TIdSMTP session;
        configure(session, server);
        const QString error = errorOf([&] { session.Connect(); });
        QCOMPARE(error.isEmpty(), opens);
        QCOMPARE(session.Connected(), opens);
        if (opens) {
            session.Disconnect();
        } else {
            QVERIFY2(error.startsWith(QLatin1String("The server answered 5")), qPrintable(error));
        }
        QVERIFY(server.waitFor("Quit"));
        QList<QByteArray> words;
        for (const QByteArray& command : server.commands())
            words.append(command.split(' ').first());
        if (opens)
            commandWords.append("Quit");
        QCOMPARE(words, commandWords);
    }

    void failuresBeforeData_data()
    {
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("recipient refused")
            << QByteArray("RCPT") << QByteArray("550 no such user\r\n")
            << QStringLiteral("The server answered 550: no such user");
        QTest::newRow("sender refused")
            << QByteArray("Mail") << QByteArray("553 bad sender\r\n")
            << QStringLiteral("The server refused the sender address jo@smtp.example.org (it "
                              "answered "
                              "553: bad sender).");
        QTest::newRow("data refused") << QByteArray("Data") << QByteArray("451 later\r\n")
                                      << QStringLiteral("The server answered 451: later");
    }

    void failuresBeforeData()
    {
        QFETCH(QByteArray, word);
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        ScriptedSmtpServer server;
        server.script(word, reply);
        TIdSMTP session;
        configure(session, server);
        session.Connect();
        TIdMessage message;
        fill(message);
        const QString error = errorOf([&] { session.Send(message); });
        QVERIFY2(error.startsWith(expected), qPrintable(error));
        QVERIFY(session.Connected());
        QVERIFY(server.messages().isEmpty());
        // The session is still usable: the next message goes through.
        session.Send(message);
        QCOMPARE(server.messages().size(), 1);
    }

    void checksBeforeMailFrom_data()
    {
        QTest::addColumn<int>("check");
        QTest::newRow("unreadable attachment") << 0;
        QTest::newRow("address with a line break") << 1;
        QTest::newRow("larger than the announced SIZE") << 2;
    }

    void checksBeforeMailFrom()
    {
        QFETCH(int, check);
        ScriptedSmtpServer server;
        server.script("ehlo", "250-scripted\r\n250-SIZE 1000\r\n250 HELP\r\n");
        TIdSMTP session;
        configure(session, server);
        session.Connect();
        QCOMPARE(session.sizeLimit(), 1000);
        TIdMessage message;
        fill(message);
        if (check == 0)
            message.addAttachment(m_dir.filePath(QStringLiteral("missing.zip")));
        else if (check == 1)
            message.Recipients.add(TIdEmailAddressItem(
                QString(), QStringLiteral("a@example.org\r\nRCPT to:<evil@example.org>")));
        else
            message.addAttachment(bigFile(2000));
        const QString error = errorOf([&] { session.Send(message); });
        QVERIFY(!error.isEmpty());
        if (check == 2)
            QVERIFY2(error.contains(QLatin1String("1000 bytes")), qPrintable(error));
        QVERIFY(session.Connected());
        for (const QByteArray& command : server.commands())
            QVERIFY2(command.startsWith("ehlo"), command.constData());
    }

    void failuresAfterDataCloseTheSession_data()
    {
        QTest::addColumn<bool>("dropMidData");
        QTest::newRow("connection dropped mid-message") << true;
        QTest::newRow("no answer to the final dot") << false;
    }

    void failuresAfterDataCloseTheSession()
    {
        QFETCH(bool, dropMidData);
        ScriptedSmtpServer server;
        if (dropMidData)
            server.dropAfterDataBytes(100 * 1024);
        else
            server.script(".", {}, Action::Stall);
        TIdSMTP session;
        configure(session, server);
        session.setReplyTimeoutMs(dropMidData ? 5000 : 300);
        session.Connect();
        TIdMessage message;
        fill(message);
        message.addAttachment(bigFile(dropMidData ? 8 * 1024 * 1024 : 1000));
        const QString error = errorOf([&] { session.Send(message); });
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.contains(dropMidData ? QLatin1String("The server closed the connection")
                                            : QLatin1String("within 1 second ")),
                 qPrintable(error));
        QVERIFY(!session.Connected());
        QVERIFY(server.waitFor({}));
    }

    void timeOutsAndRefusal()
    {
        ScriptedSmtpServer silent;
        silent.setGreeting({}, Action::Stall);
        TIdSMTP session;
        configure(session, silent);
        session.setReplyTimeoutMs(200);
        QCOMPARE(errorOf([&] { session.Connect(); }),
                 QStringLiteral("No answer from the server within 1 second (127.0.0.1 port %1). "
                                "If the server speaks TLS from the start, choose \"TLS from the "
                                "start\" as the SMTP encryption.")
                     .arg(silent.port()));
        QVERIFY(!session.Connected());

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 unusedPort = closed.serverPort();
        closed.close();
        session.Port = unusedPort;
        const QString refused = errorOf([&] { session.Connect(); });
        QCOMPARE(refused, QStringLiteral("The server refused the connection (127.0.0.1 port %1).")
                              .arg(unusedPort));

        ScriptedSmtpServer endless;
        endless.setGreeting(QByteArray(100 * 1024, '2'));
        session.Port = endless.port();
        QVERIFY(errorOf([&] { session.Connect(); }).contains(QLatin1String("too long")));

        ScriptedSmtpServer dropping;
        dropping.setGreeting({}, Action::Drop);
        session.Port = dropping.port();
        // Closed before a greeting: a server that speaks TLS from the start may do that.
        QCOMPARE(errorOf([&] { session.Connect(); }),
                 QStringLiteral("The server closed the connection (127.0.0.1 port %1). If the "
                                "server speaks TLS from the start, choose \"TLS from the start\" "
                                "as the SMTP encryption.")
                     .arg(dropping.port()));
    }

    void serverClosingIsSeenByConnected()
    {
        // Closed while the session is idle: seen without sending anything.
        ScriptedSmtpServer idle;
        idle.script("ehlo", "250 ok, and goodbye\r\n", Action::Drop);
        TIdSMTP session;
        configure(session, idle);
        session.Connect();
        // No event loop runs here: Connected() itself has to look at the socket.
        QVERIFY(idle.waitFor({}));
        QVERIFY(!session.Connected());
        session.Disconnect();
        QVERIFY(!idle.commands().contains("Quit"));

        // Closed in answer to a command: the send fails and the session is closed.
        ScriptedSmtpServer server;
        server.script("Rset", {}, Action::Drop);
        configure(session, server);
        session.Connect();
        TIdMessage message;
        fill(message);
        QVERIFY(!errorOf([&] { session.Send(message); }).isEmpty());
        QVERIFY(!session.Connected());
    }

    void loginOverLoopbackKeepsThePasswordSecret()
    {
        const QString password = QStringLiteral("s3cret-pass");
        const QByteArray encodedPassword = password.toUtf8().toBase64();
        ScriptedSmtpServer server;
        server.script("ehlo", "250-scripted\r\n250 AUTH LOGIN\r\n");
        server.script("AUTH", "334 VXNlcm5hbWU6\r\n");
        server.script(QByteArray("am8="), "334 UGFzc3dvcmQ6\r\n");
        server.script(encodedPassword, "535 authentication failed for " + encodedPassword + "\r\n");
        TIdSMTP session;
        configure(session, server);
        session.UserId = QStringLiteral("jo");
        session.Password = password;
        const QString error = errorOf([&] { session.Connect(); });
        QVERIFY2(error.contains(QLatin1String("535")), qPrintable(error));
        QVERIFY(!error.contains(password));
        QVERIFY(!error.contains(QString::fromLatin1(encodedPassword)));
        QVERIFY(server.commands().contains("AUTH LOGIN"));
        QVERIFY(server.commands().contains(encodedPassword));

        server.script("ehlo", "250-scripted\r\n250 AUTH PLAIN LOGIN\r\n");
        server.script("AUTH", "235 ok\r\n");
        session.Connect();
        QVERIFY(session.isAuthenticated());
        const QByteArray plain = "AUTH PLAIN " + QByteArray("\0jo\0s3cret-pass", 15).toBase64();
        QVERIFY(server.commands().contains(plain));
        session.Disconnect();

        // Refused with the PLAIN credentials echoed.
        server.script("ehlo", "250-scripted\r\n250 AUTH PLAIN\r\n");
        server.script("AUTH", "535 no such " + plain + "\r\n");
        const QString refused = errorOf([&] { session.Connect(); });
        QVERIFY2(refused.contains("535: no such AUTH PLAIN ***"), qPrintable(refused));
    }

    // With an access token the session logs in by the mechanism the server names first
    // of OAUTHBEARER and XOAUTH2; a refused token ends the exchange and is masked.
    void logInWithAccessToken_data()
    {
        QTest::addColumn<QByteArray>("offered");
        QTest::addColumn<QByteArray>("authReply");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("error");
        const QByteArray xoauth2 = QByteArray("user=jo@example.org\x01"
                                              "auth=Bearer tok-123\x01\x01")
                                       .toBase64();
        const QByteArray bearer =
            QByteArray("n,a=jo@example.org,\x01host=127.0.0.1\x01port=PORT\x01"
                       "auth=Bearer tok-123\x01\x01");
        QTest::newRow("XOAUTH2 named first")
            << QByteArray("PLAIN XOAUTH2 OAUTHBEARER") << QByteArray("235 ok\r\n")
            << "AUTH XOAUTH2 " + xoauth2 << QString();
        QTest::newRow("OAUTHBEARER named first")
            << QByteArray("OAUTHBEARER XOAUTH2") << QByteArray("235 ok\r\n")
            << "AUTH OAUTHBEARER " + bearer << QString();
        QTest::newRow("token refused")
            << QByteArray("XOAUTH2") << QByteArray("334 eyJzdGF0dXMiOiI0MDEifQ==\r\n")
            << "AUTH XOAUTH2 " + xoauth2 << QStringLiteral("535: 5.7.8 token tok-*** refused");
        QTest::newRow("no token log-in offered")
            << QByteArray("PLAIN LOGIN") << QByteArray() << QByteArray()
            << QStringLiteral("offers no log-in with an access token (OAUTHBEARER or XOAUTH2)");
    }

    void logInWithAccessToken()
    {
        QFETCH(QByteArray, offered);
        QFETCH(QByteArray, authReply);
        QFETCH(QByteArray, sent);
        QFETCH(QString, error);
        ScriptedSmtpServer server;
        server.script("ehlo", "250-scripted\r\n250 AUTH " + offered + "\r\n");
        if (!authReply.isEmpty())
            server.script("AUTH", authReply);
        // The client's answer to the challenge that carries the refusal.
        server.script("", "535 5.7.8 token tok-123 refused\r\n");
        TIdSMTP session;
        configure(session, server);
        session.UserId = QStringLiteral("jo@example.org");
        session.accessToken = [] {
            return QStringLiteral("tok-123");
        };
        const QString failure = errorOf([&] { session.Connect(); });
        if (!sent.isEmpty()) {
            if (sent.contains("PORT"))
                sent = "AUTH OAUTHBEARER " +
                       sent.mid(17).replace("PORT", QByteArray::number(server.port())).toBase64();
            QVERIFY2(server.commands().contains(sent), server.commands().join('|'));
        }
        if (error.isEmpty()) {
            QVERIFY2(failure.isEmpty() && session.isAuthenticated(), qPrintable(failure));
        } else {
            QVERIFY2(failure.contains(error.replace("tok-***", "***")), qPrintable(failure));
            QVERIFY(!failure.contains("tok-123"));
        }
    }

    // A refused log-in says what to do: check the user name and password, or make an
    // app password where the provider wants one.
    void logInRefusals_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("refusal");
        QTest::newRow("wrong password")
            << QByteArray("535 5.7.8 credentials invalid\r\n") << int(TIdSMTP::Refusal::LogIn);
        QTest::newRow("534, mechanism too weak")
            << QByteArray("534-5.7.9 Application-specific password required.\r\n534 5.7.9 "
                          "Learn more\r\n")
            << int(TIdSMTP::Refusal::AppPassword);
        QTest::newRow("535 naming an application-specific password")
            << QByteArray("535 Please log in with an application-specific password\r\n")
            << int(TIdSMTP::Refusal::AppPassword);
        QTest::newRow("another refusal")
            << QByteArray("454 4.7.0 temporary failure\r\n") << int(TIdSMTP::Refusal::Other);
    }

    void logInRefusals()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, refusal);
        ScriptedSmtpServer server;
        server.script("ehlo", "250-scripted\r\n250 AUTH PLAIN\r\n");
        server.script("AUTH", reply);
        TIdSMTP session;
        configure(session, server);
        session.UserId = QStringLiteral("jo");
        session.Password = QStringLiteral("pw");
        const QString error = errorOf([&] { session.Connect(); });
        QCOMPARE(int(session.lastRefusal()), refusal);
        const auto kind = TIdSMTP::Refusal(refusal);
        QCOMPARE(error.endsWith(logInAdvice()), kind == TIdSMTP::Refusal::LogIn);
        QCOMPARE(error.endsWith(appPasswordAdvice()), kind == TIdSMTP::Refusal::AppPassword);

        // A server that is not there is no refusal.
        session.Port = 1;
        QVERIFY(!errorOf([&] { session.Connect(); }).isEmpty());
        QCOMPARE(session.lastRefusal(), TIdSMTP::Refusal::None);
    }

    // A server that offers a log-in and then refuses the message for the want of one
    // is told which field of the settings is empty; a session without the field but
    // without such a refusal sends as before.
    void refusalNamesTheEmptyLogInField()
    {
        ScriptedSmtpServer server;
        server.script("ehlo", "250-scripted\r\n250 AUTH PLAIN\r\n");
        server.script("Mail", "530 5.7.0 Authentication required\r\n");
        TIdSMTP session;
        configure(session, server);
        session.UserId = QStringLiteral("jo");
        session.Connect();
        QVERIFY(!session.isAuthenticated());
        TIdMessage message;
        fill(message);
        const QString error = errorOf([&] { session.Send(message); });
        QVERIFY2(error.endsWith(QStringLiteral("The server asks for a log-in, but the \"SMTP "
                                               "Server User Password\" field is empty.")),
                 qPrintable(error));
        session.Send(message);
        QCOMPARE(server.messages().size(), 1);
    }

    void encryption_data()
    {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QByteArray>("startTlsAnswer");
        QTest::newRow("STARTTLS") << false << true << QByteArray("220 go ahead\r\n");
        // A line slipped in before the handshake must not be read as the answer to
        // the EHLO sent over TLS (it would make the session fall back to Helo).
        QTest::newRow("STARTTLS with a plain-text line injected")
            << false << true << QByteArray("220 go ahead\r\n500 injected\r\n");
        QTest::newRow("implicit TLS") << true << true << QByteArray();
        QTest::newRow("untrusted certificate") << false << false << QByteArray();
    }

    void encryption()
    {
        QFETCH(bool, implicit);
        QFETCH(bool, trusted);
        QFETCH(QByteArray, startTlsAnswer);
        ScriptedSmtpServer server;
        server.enableTls(m_certificate, m_key, implicit);
        if (!startTlsAnswer.isEmpty())
            server.script("STARTTLS", startTlsAnswer);
        TIdSMTP session;
        configure(session, server);
        if (implicit)
            session.setImplicitTlsPort(server.port());
        if (trusted)
            session.addCaCertificates({m_certificate});
        const QString error = errorOf([&] { session.Connect(); });
        if (!trusted) {
            QCOMPARE(error,
                     QStringLiteral("The connection could not be made secure (127.0.0.1 port "
                                    "%1): the certificate is signed by itself.")
                         .arg(server.port()));
            QVERIFY(!session.Connected());
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(session.isEncrypted());
        TIdMessage message;
        fill(message);
        session.Send(message);
        session.Disconnect();
        QVERIFY(server.waitFor("Quit"));
        QList<QByteArray> words;
        for (const QByteArray& command : server.commands())
            words.append(command.split(' ').first());
        QList<QByteArray> expected{"ehlo", "Rset", "Mail", "RCPT", "RCPT", "Data", ".", "Quit"};
        if (!implicit)
            expected = QList<QByteArray>{"ehlo", "STARTTLS"} + expected;
        QCOMPARE(words, expected);
        QCOMPARE(server.messages().size(), 1);
    }

    // The encryption setting: TLS from the start on any port, STARTTLS required, none
    // (on loopback); a server met with the wrong kind is told with the setting to choose.
    void encryptionChoice_data()
    {
        QTest::addColumn<int>("serverTls"); // 0 none, 1 STARTTLS, 2 from the start
        QTest::addColumn<int>("encryption");
        QTest::addColumn<QString>("errorPart");
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("TLS from the start on any port")
            << 2 << int(MailEncryption::TlsFromStart) << QString() << true;
        QTest::newRow("TLS server met without TLS")
            << 2 << int(MailEncryption::ByPort)
            << QStringLiteral("No answer from the server within 1 second (127.0.0.1 port ")
            << false;
        QTest::newRow("plain server met with TLS")
            << 0 << int(MailEncryption::TlsFromStart)
            << QStringLiteral("If the server does not speak TLS from the start, choose "
                              "\"STARTTLS\" as the SMTP encryption.")
            << false;
        QTest::newRow("STARTTLS required, not offered")
            << 0 << int(MailEncryption::StartTls)
            << QStringLiteral(
                   "offers no STARTTLS, which the SMTP encryption \"STARTTLS\" requires.")
            << false;
        QTest::newRow("STARTTLS required")
            << 1 << int(MailEncryption::StartTls) << QString() << true;
        QTest::newRow("none, on loopback") << 1 << int(MailEncryption::None) << QString() << false;
    }

    void encryptionChoice()
    {
        QFETCH(int, serverTls);
        QFETCH(int, encryption);
        QFETCH(QString, errorPart);
        QFETCH(bool, encrypted);
        ScriptedSmtpServer server;
        if (serverTls > 0)
            server.enableTls(m_certificate, m_key, serverTls == 2);
        TIdSMTP session;
        configure(session, server);
        session.setConnectTimeoutMs(300);
        session.addCaCertificates({m_certificate});
        session.Encryption = MailEncryption(encryption);
        const QString error = errorOf([&] { session.Connect(); });
        if (!errorPart.isEmpty()) {
            QVERIFY2(error.contains(errorPart), qPrintable(error));
            QVERIFY(!session.Connected());
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(session.isEncrypted(), encrypted);
        QCOMPARE(server.commands().contains("STARTTLS"), encrypted && serverTls == 1);
        session.Disconnect();
    }

    // A server elsewhere that offers no STARTTLS gets neither the password nor the
    // message. This computer's own network address stands in for it: the traffic stays
    // on this computer, but the address is not loopback.
    void plainServerElsewhereIsRefused()
    {
        QHostAddress own;
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (!address.isLoopback() && address.protocol() == QAbstractSocket::IPv4Protocol)
                own = address;
        }
        if (own.isNull())
            QSKIP("this computer has no network address besides loopback");
        ScriptedSmtpServer server(own);
        server.script("ehlo", "250-mail.example.org\r\n250 AUTH PLAIN LOGIN\r\n");
        TIdSMTP session;
        configure(session, server);
        session.Host = own.toString();
        session.UserId = QStringLiteral("jo");
        session.Password = QStringLiteral("secret");
        TIdMessage message;
        fill(message);
        const QString error = errorOf([&] {
            session.Connect();
            session.Send(message);
        });
        QVERIFY2(error.contains("offers no STARTTLS, and nothing is sent unencrypted"),
                 qPrintable(error));
        for (const QByteArray& command : server.commands())
            QVERIFY2(!command.startsWith("AUTH") && !command.startsWith("MAIL"), command);
    }

    void runsOnAWorkerThread()
    {
        ScriptedSmtpServer server;
        QString error;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            error = errorOf([&] {
                TIdSMTP session;
                configure(session, server);
                session.Connect();
                TIdMessage message;
                fill(message);
                session.Send(message);
                session.Disconnect();
            });
        }));
        worker->start();
        QVERIFY(worker->wait(30000));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(server.messages().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSmtpSession)
#include "tst_smtpsession.moc"
