#include "core/CertificateFingerprint.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/SettingsDatabase.h"
#include "restore/MailboxConnection.h"
#include "sequence/CertificateTrustQuestion.h"
#include "support/ScriptedImapServer.h"
#include "support/TestCertificate.h"
#include "support/TestEnvironment.h"
#include "transport/ImapMailboxReader.h"
#include "transport/ServerCertificateTrust.h"
#include "transport/UntrustedCertificateError.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSslKey>
#include <QTest>
#include <QThread>

using Action = ScriptedImapServer::Action;
Q_DECLARE_METATYPE(ScriptedImapServer::Action)

// The IMAP conversation against a scripted server: log-in forms, the reading of a
// mailbox from search to attachment, every kind of fault ending in a clear error
// that names the step and never the password, and TLS with certificate trust.
class TestImapSession : public QObject
{
    Q_OBJECT

private:
    static inline const QString Secret = QStringLiteral("s3cr\"et\\pw");
    QTemporaryDir m_dir;
    QByteArray m_archive;
    QByteArray m_encoded;

    static std::unique_ptr<ImapMailboxReader> reader(const ScriptedImapServer& server,
                                                     const QString& password = Secret)
    {
        auto reader = std::make_unique<ImapMailboxReader>(
            ImapMailboxReader::Settings{QStringLiteral("127.0.0.1"), server.port(),
                                        QStringLiteral("jo"), password, QStringLiteral("INBOX")});
        reader->setConnectTimeoutMs(5000);
        reader->setReplyTimeoutMs(1000);
        return reader;
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

    // A FETCH reply for one note as a server gives it; the archive is part 2.
    QByteArray noteReply(quint32 uid, const QByteArray& subject) const
    {
        const QByteArray header = "Subject: " + subject +
                                  "\r\nDate: Wed, 9 Dec 2026 14:05:00 "
                                  "+0100\r\n\r\n";
        return "* " + QByteArray::number(uid) + " FETCH (UID " + QByteArray::number(uid) +
               " RFC822.SIZE 9000 INTERNALDATE \"09-Dec-2026 13:06:00 +0000\" "
               "BODY[HEADER.FIELDS (SUBJECT DATE)] {" +
               QByteArray::number(header.size()) + "}\r\n" + header +
               " BODYSTRUCTURE ((\"text\" \"plain\" NIL NIL NIL \"7bit\" 0 0 NIL NIL NIL NIL)"
               "(\"application\" \"zip\" (\"name\" \"a.txt.zip\") NIL NIL \"base64\" " +
               QByteArray::number(m_encoded.size()) +
               " NIL (\"attachment\" (\"filename\" \"a.txt.zip\")) NIL NIL) \"mixed\" "
               "(\"boundary\" \"b\") NIL NIL NIL))\r\n";
    }

    MailboxNote note5() const
    {
        MailboxNote note;
        note.uid = 5;
        note.attachmentSection = "2";
        note.attachmentEncoding = "base64";
        note.attachmentEncodedSize = m_encoded.size();
        return note;
    }

    struct Made
    {
        QSslCertificate certificate;
        QSslKey key;
    };

    Made makeCertificate(const QString& name)
    {
        QString certificateFile;
        QString keyFile;
        if (!TestCertificate::make(m_dir.path(), name, TestCertificate::Kind::ForLoopback,
                                   &certificateFile, &keyFile))
            return Made{QSslCertificate(), QSslKey()};
        QFile key(keyFile);
        if (!key.open(QIODevice::ReadOnly))
            return Made{QSslCertificate(), QSslKey()};
        return {QSslCertificate::fromPath(certificateFile).value(0),
                QSslKey(key.readAll(), QSsl::Rsa)};
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_archive.resize(300 * 1000);
        QRandomGenerator generator(14);
        for (char& c : m_archive)
            c = static_cast<char>(generator.bounded(256));
        const QByteArray plain = m_archive.toBase64();
        for (qsizetype i = 0; i < plain.size(); i += 76)
            m_encoded += plain.mid(i, 76) + "\r\n";
        // The line break before the closing boundary belongs to the part.
        m_encoded += "\r\n";
    }

    void readingTheMailbox()
    {
        TestEnvironment environment;
        ScriptedImapServer server;
        server.setCapabilities("IMAP4rev1 AUTH=PLAIN LITERAL+");
        server.script("UID SEARCH", "* SEARCH 5 6 7 9\r\nTAG OK done\r\n");
        // "10:*" takes in the last message even when its UID is lower.
        server.script("UID SEARCH", "* SEARCH 9\r\nTAG OK done\r\n");
        server.script("UID SEARCH", "* SEARCH 2 5 6 7 9\r\nTAG OK done\r\n");
        server.script("UID FETCH", "* 4 FETCH (FLAGS (\\Seen))\r\n" + noteReply(9, "Nine") +
                                       noteReply(5, "=?UTF-8?B?S8Okc3RyZWw=?=\r\n =?UTF-8?Q?_1?=") +
                                       "* 3 EXPUNGE\r\n" + noteReply(6, "Six") +
                                       "TAG OK fetched\r\n");
        server.setBody(5, "2", m_encoded);
        const auto owner = reader(server);
        ImapMailboxReader& mailbox = *owner;
        QCOMPARE(mailbox.mailboxKey(), QStringLiteral("jo@127.0.0.1:%1/INBOX").arg(server.port()));

        const MailboxReader::MailboxState state = mailbox.open();
        QCOMPARE(state.uidValidity, 42u);
        QCOMPARE(state.uidNext, 9u);
        QCOMPARE(state.messages, 3u);
        QCOMPARE(mailbox.findSubjects(QStringLiteral("KestrelSolo Save#1#")),
                 (QList<quint32>{5, 6, 7, 9}));
        QVERIFY(mailbox.findSubjects(QStringLiteral("KestrelSolo Save#1#"), 9).isEmpty());
        QCOMPARE(mailbox.allUids(), (QList<quint32>{2, 5, 6, 7, 9}));
        const QList<MailboxNote> notes = mailbox.readNotes({9, 5, 7, 6});
        QCOMPARE(notes.size(), 3);
        QCOMPARE(notes[0].uid, 9u);
        QCOMPARE(notes[1].uid, 5u);
        QCOMPARE(notes[2].uid, 6u);
        QCOMPARE(notes[1].subject, QString::fromUtf8("Kästrel 1"));
        QCOMPARE(notes[1].messageSize, 9000);
        QCOMPARE(notes[1].attachmentSection, QByteArray("2"));
        QCOMPARE(notes[1].attachmentEncodedSize, m_encoded.size());

        QBuffer decoded;
        decoded.open(QIODevice::WriteOnly);
        qint64 lastProgress = 0;
        int reports = 0;
        mailbox.fetchAttachment(notes[1], decoded, [&](qint64 bytes) {
            lastProgress = bytes;
            ++reports;
            return true;
        });
        QVERIFY(decoded.data() == m_archive);
        QCOMPARE(lastProgress, m_archive.size());
        QVERIFY(reports > 2);
        QVERIFY(mailbox.fetchAttachmentTail(notes[1], 1000) == m_archive.right(1000));
        QVERIFY(mailbox.fetchAttachmentTail(notes[1], 1) == m_archive.right(1));
        QVERIFY(mailbox.fetchAttachmentTail(notes[1], 10'000'000) == m_archive);
        // A structure that understates the part's size still gives its true end.
        MailboxNote understated = notes[1];
        understated.attachmentEncodedSize = 5000;
        QVERIFY(mailbox.fetchAttachmentTail(understated, 1000) == m_archive.right(1000));
        mailbox.close();
        mailbox.close();
        QVERIFY(server.waitForClose());

        const QList<QByteArray> commands = server.commands();
        QVERIFY(commands.size() > 13);
        QCOMPARE(commands[0], QByteArray("CAPABILITY"));
        QCOMPARE(commands[1], QByteArray("AUTHENTICATE PLAIN"));
        // The credentials are compared, never printed.
        QVERIFY(QByteArray::fromBase64(commands[2]) == QByteArray("\0jo\0", 4) + Secret.toUtf8());
        QCOMPARE(commands[3], QByteArray("EXAMINE \"INBOX\""));
        QCOMPARE(commands[4], QByteArray("UID SEARCH SUBJECT \"KestrelSolo Save#1#\""));
        QCOMPARE(commands[5], QByteArray("UID SEARCH UID 10:* SUBJECT \"KestrelSolo Save#1#\""));
        QCOMPARE(commands[6], QByteArray("UID SEARCH ALL"));
        QCOMPARE(commands[7],
                 QByteArray("UID FETCH 5:7,9 (UID RFC822.SIZE INTERNALDATE BODY.PEEK[HEADER.FIELDS "
                            "(SUBJECT DATE MESSAGE-ID X-KESTREL-SET)] BODYSTRUCTURE)"));
        QCOMPARE(commands[8], QByteArray("UID FETCH 5 (UID BODY.PEEK[2])"));
        QVERIFY(commands[9].startsWith("UID FETCH 5 (UID BODY.PEEK[2]<"));
        QCOMPARE(commands.last(), QByteArray("LOGOUT"));
    }

    void logInAndLiterals_data()
    {
        QTest::addColumn<QByteArray>("capabilities");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("logIn");
        QTest::newRow("LOGIN, quoted with escapes")
            << QByteArray("IMAP4rev1") << Secret << QByteArray("LOGIN \"jo\" \"s3cr\\\"et\\\\pw\"");
        QTest::newRow("LOGIN, literal the server invites")
            << QByteArray("IMAP4rev1") << QString::fromUtf8("pässwort")
            << QByteArray("LOGIN \"jo\" {9}\r\n") + QString::fromUtf8("pässwort").toUtf8();
        QTest::newRow("LOGIN, literal without invitation")
            << QByteArray("IMAP4rev1 LITERAL+") << QString::fromUtf8("pässwort")
            << QByteArray("LOGIN \"jo\" {9+}\r\n") + QString::fromUtf8("pässwort").toUtf8();
        QTest::newRow("PLAIN with the credentials in the command")
            << QByteArray("IMAP4rev2 AUTH=PLAIN SASL-IR LOGINDISABLED") << Secret
            << "AUTHENTICATE PLAIN " + (QByteArray("\0jo\0", 4) + Secret.toUtf8()).toBase64();
        QTest::newRow("no way to log in")
            << QByteArray("IMAP4rev1 LOGINDISABLED AUTH=GSSAPI") << Secret << QByteArray();
    }

    void logInAndLiterals()
    {
        QFETCH(QByteArray, capabilities);
        QFETCH(QString, password);
        QFETCH(QByteArray, logIn);
        TestEnvironment environment;
        ScriptedImapServer server;
        server.setCapabilities(capabilities);
        // IMAP4rev2 answers a search with ESEARCH (RFC 9051 section 7.3.4).
        server.script("UID SEARCH", capabilities.startsWith("IMAP4rev2")
                                        ? "* ESEARCH (TAG \"x\") UID ALL 3:5,9\r\nTAG OK\r\n"
                                        : "* SEARCH 9 3 4 5\r\nTAG OK\r\n");
        const auto owner = reader(server, password);
        ImapMailboxReader& mailbox = *owner;
        const QString error = errorOf([&] { mailbox.open(); });
        if (logIn.isEmpty()) {
            QVERIFY2(error.contains(QLatin1String("offers no way to log in")), qPrintable(error));
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        // A search for text that is not plain ASCII travels as a UTF-8 literal.
        QCOMPARE(mailbox.findSubjects(QString::fromUtf8("Säve")), (QList<quint32>{3, 4, 5, 9}));
        mailbox.close();
        const QList<QByteArray> commands = server.commands();
        QVERIFY(commands.value(1) == logIn);
        const QByteArray search =
            "UID SEARCH CHARSET UTF-8 SUBJECT {5" +
            QByteArray(capabilities.contains("LITERAL+") || capabilities.contains("IMAP4rev2")
                           ? "+"
                           : "") +
            "}\r\n" + QString::fromUtf8("Säve").toUtf8();
        QCOMPARE(commands.value(3), search);

        // A server that echoes the log-in in its refusal: the password is masked in
        // whatever form it travelled (quoted with escapes, SASL PLAIN's base64).
        if (logIn.contains('\r'))
            return;
        server.script(logIn.left(logIn.indexOf(' ')), "TAG NO refused: " + logIn + "\r\n");
        const QString refused = errorOf([&] { mailbox.open(); });
        const QString sent = QString::fromLatin1(logIn.mid(logIn.lastIndexOf(' ') + 1));
        QVERIFY2(refused.contains("refused") && !refused.contains(password) &&
                     !refused.contains(sent.mid(1, sent.size() - 2)),
                 qPrintable(refused));
    }

    // An access token goes by the mechanism the server names first of OAUTHBEARER and
    // XOAUTH2, with the command (SASL-IR) or after the server's "+".
    void logInWithAccessToken_data()
    {
        QTest::addColumn<QByteArray>("capabilities");
        QTest::addColumn<QByteArray>("sent");
        const QByteArray xoauth2 = QByteArray("user=jo\x01"
                                              "auth=Bearer tok-9\x01\x01")
                                       .toBase64();
        QTest::newRow("XOAUTH2 with the command")
            << QByteArray("IMAP4rev1 AUTH=PLAIN AUTH=XOAUTH2 AUTH=OAUTHBEARER SASL-IR")
            << "AUTHENTICATE XOAUTH2 " + xoauth2;
        QTest::newRow("OAUTHBEARER after the invitation")
            << QByteArray("IMAP4rev1 AUTH=OAUTHBEARER AUTH=XOAUTH2")
            << QByteArray("AUTHENTICATE OAUTHBEARER");
        QTest::newRow("none offered") << QByteArray("IMAP4rev1 AUTH=PLAIN") << QByteArray();
    }

    void logInWithAccessToken()
    {
        QFETCH(QByteArray, capabilities);
        QFETCH(QByteArray, sent);
        TestEnvironment environment;
        ScriptedImapServer server;
        server.setCapabilities(capabilities);
        ImapMailboxReader::Settings settings{QStringLiteral("127.0.0.1"), server.port(),
                                             QStringLiteral("jo"), QString(),
                                             QStringLiteral("INBOX")};
        settings.accessToken = [] {
            return QStringLiteral("tok-9");
        };
        ImapMailboxReader mailbox(settings);
        mailbox.setReplyTimeoutMs(1000);
        const QString error = errorOf([&] { mailbox.open(); });
        if (sent.isEmpty()) {
            QVERIFY2(error.contains("offers no log-in with an access token"), qPrintable(error));
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QList<QByteArray> commands = server.commands();
        QCOMPARE(commands.value(1), sent);
        mailbox.close();
    }

    void faults_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("expected");
        const QByteArray secret = Secret.toUtf8();
        QTest::newRow("greeting BYE")
            << QByteArray() << QByteArray("* BYE too busy\r\n") << Action::Reply
            << "closed the connection while reading the greeting: too "
               "busy";
        QTest::newRow("greeting stalls")
            << QByteArray() << QByteArray("* OK") << Action::Stall
            << "While reading the greeting: No answer from the server within 1 second";
        QTest::newRow("log-in refused, password echoed")
            << QByteArray("AUTHENTICATE") << "TAG NO [AUTHENTICATIONFAILED] not " + secret + "\r\n"
            << Action::Reply << "answered NO while logging in: [AUTHENTICATIONFAILED] not ***";
        QTest::newRow("mailbox refused")
            << QByteArray("EXAMINE") << QByteArray("TAG NO no such mailbox\r\n") << Action::Reply
            << "answered NO while opening the mailbox \"INBOX\": no such mailbox";
        QTest::newRow("no UIDVALIDITY")
            << QByteArray("EXAMINE") << QByteArray("* 3 EXISTS\r\nTAG OK done\r\n") << Action::Reply
            << "malformed reply while opening the mailbox";
        QTest::newRow("search BAD")
            << QByteArray("UID SEARCH") << QByteArray("TAG BAD what?\r\n") << Action::Reply
            << "answered BAD while searching for save notes: what?";
        QTest::newRow("BYE during search")
            << QByteArray("UID SEARCH") << QByteArray("* BYE shutting down\r\n") << Action::Drop
            << "closed the connection while searching for save notes: shutting down";
        QTest::newRow("search result not a UID")
            << QByteArray("UID SEARCH") << QByteArray("* SEARCH 5 x\r\nTAG OK\r\n") << Action::Reply
            << "malformed reply while searching for save notes";
        QTest::newRow("malformed structure")
            << QByteArray("UID FETCH")
            << QByteArray("* 1 FETCH (UID 5 BODYSTRUCTURE ((\"text\" \"plain\") \"mixed\"))\r\n"
                          "TAG OK done\r\n")
            << Action::Reply << "malformed reply while reading the save notes";
        QTest::newRow("structure does not end")
            << QByteArray("UID FETCH")
            << QByteArray("* 1 FETCH (UID 5 BODYSTRUCTURE (\"text\"\r\nTAG OK done\r\n")
            << Action::Reply << "malformed reply while reading the save notes";
        QTest::newRow("dropped in the middle of a literal")
            << QByteArray("UID FETCH 5 (UID BODY")
            << QByteArray("* 1 FETCH (UID 5 BODY[2] {5000}\r\nQUJD") << Action::Drop
            << "While downloading an attachment: The server closed the connection";
        QTest::newRow("stall in the middle of a literal")
            << QByteArray("UID FETCH 5 (UID BODY")
            << QByteArray("* 1 FETCH (UID 5 BODY[2] {5000}\r\nQUJD") << Action::Stall
            << "While downloading an attachment: No answer from the server within 1 second";
        QTest::newRow("literal larger than announced")
            << QByteArray("UID FETCH 5 (UID BODY")
            << QByteArray("* 1 FETCH (UID 5 BODY[2] {4}\r\nQUJDREVG)\r\nTAG OK done\r\n")
            << Action::Reply << "malformed reply while downloading an attachment";
        QTest::newRow("part far larger than its structure")
            << QByteArray("UID FETCH 5 (UID BODY")
            << QByteArray("* 1 FETCH (UID 5 BODY[2] {900000000}\r\nQUJD") << Action::Stall
            << "larger than the message's structure said";
        QTest::newRow("damaged base64")
            << QByteArray("UID FETCH 5 (UID BODY")
            << QByteArray("* 1 FETCH (UID 5 BODY[2] {6}\r\nQU*JD=)\r\nTAG OK done\r\n")
            << Action::Reply << "base64 text is damaged";
        QTest::newRow("attachment of another message")
            << QByteArray("UID FETCH 5 (UID BODY")
            << QByteArray("* 1 FETCH (UID 6 BODY[2] {4}\r\nQUJD)\r\nTAG OK done\r\n")
            << Action::Reply << "malformed reply while downloading an attachment";
        QTest::newRow("message gone")
            << QByteArray("UID FETCH 5 (UID BODY") << QByteArray("TAG OK done\r\n") << Action::Reply
            << "no longer holds the message (UID 5)";
    }

    void faults()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, raw);
        QFETCH(Action, action);
        QFETCH(QString, expected);
        TestEnvironment environment;
        ScriptedImapServer server;
        if (command.isEmpty())
            server.setGreeting(raw, action);
        else
            server.script(command, raw, action);
        server.script("UID SEARCH", "* SEARCH 5\r\nTAG OK done\r\n");
        server.script("UID FETCH", noteReply(5, "Five") + "TAG OK done\r\n");
        const auto owner = reader(server);
        ImapMailboxReader& mailbox = *owner;
        const QString target =
            m_dir.filePath(QStringLiteral("restored-%1").arg(QTest::currentDataTag()));
        // Only the stalling row waits for the reply timeout: any other wait would end
        // in that timeout's error instead of the one expected.
        const QString error = errorOf([&] {
            mailbox.open();
            mailbox.findSubjects(QStringLiteral("KestrelSolo"));
            mailbox.readNotes({5});
            // As a restore writes it: committed only when the whole attachment came.
            QSaveFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            mailbox.fetchAttachment(note5(), file);
            file.commit();
        });
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(!error.contains(Secret));
        QVERIFY(!QFile::exists(target));
        mailbox.close();
    }

    // What the server announces bounds what it may send: a part announced as empty,
    // and UID sets spread over many search replies.
    void announcedSizesBoundTheReplies()
    {
        TestEnvironment environment;
        ScriptedImapServer server;
        server.setBody(5, "2", m_encoded);
        server.script("UID SEARCH", "* ESEARCH (TAG \"x\") UID ALL 1:3000000\r\n"
                                    "* ESEARCH (TAG \"x\") UID ALL 3000001:6000000\r\n"
                                    "TAG OK\r\n");
        const auto owner = reader(server);
        ImapMailboxReader& mailbox = *owner;
        mailbox.open();
        MailboxNote empty = note5();
        empty.attachmentEncodedSize = 0;
        QBuffer decoded;
        decoded.open(QIODevice::WriteOnly);
        const QString error = errorOf([&] { mailbox.fetchAttachment(empty, decoded); });
        QVERIFY2(error.contains("larger than the message's structure said"), qPrintable(error));
        QVERIFY(decoded.size() <= 65536);
        mailbox.open();
        QVERIFY(errorOf([&] { mailbox.allUids(); }).contains("too many search results"));
    }

    void cancelledDownload()
    {
        TestEnvironment environment;
        ScriptedImapServer server;
        server.setBody(5, "2", m_encoded);
        const auto owner = reader(server);
        ImapMailboxReader& mailbox = *owner;
        mailbox.open();
        QBuffer decoded;
        decoded.open(QIODevice::WriteOnly);
        const QString error = errorOf([&] {
            mailbox.fetchAttachment(note5(), decoded, [](qint64 bytes) { return bytes < 100000; });
        });
        QCOMPARE(error, QStringLiteral("cancelled"));
        QVERIFY(decoded.data().size() < m_archive.size());
        // The rest of the cancelled reply is not taken as the answer to what follows.
        mailbox.close();
        mailbox.open();
        decoded.buffer().clear();
        decoded.seek(0);
        mailbox.fetchAttachment(note5(), decoded);
        QVERIFY(decoded.data() == m_archive);
    }

    // A reader opened on a worker thread and destroyed on another leaves its socket
    // to the worker, which deletes it.
    void openedOnAnotherThread()
    {
        // Qt warns of a socket used from a thread it does not belong to.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        TestEnvironment environment;
        ScriptedImapServer server;
        auto mailbox = reader(server);
        QThread worker;
        QObject context;
        context.moveToThread(&worker);
        worker.start();
        QMetaObject::invokeMethod(
            &context,
            [&] {
                mailbox->open();
                SettingsDatabase::closeThisThreadsConnection();
            },
            Qt::BlockingQueuedConnection);
        mailbox.reset();
        worker.quit();
        QVERIFY(worker.wait(5000));
        QVERIFY(server.waitForClose());
    }

    void encryption()
    {
        const Made made = makeCertificate(QStringLiteral("imap"));
        QVERIFY(!made.certificate.isNull());
        for (const bool implicit : {false, true}) {
            TestEnvironment environment;
            ScriptedImapServer server;
            server.enableTls(made.certificate, made.key, implicit);
            // STARTTLS is offered only before the connection is encrypted.
            server.setCapabilities("IMAP4rev1 AUTH=PLAIN");
            const auto owner = reader(server);
            ImapMailboxReader& mailbox = *owner;
            if (implicit)
                mailbox.setImplicitTlsPort(server.port());

            try {
                mailbox.open();
                QFAIL("an untrusted certificate was taken");
            } catch (const UntrustedCertificateError& error) {
                const QString text =
                    CertificateTrustQuestion::unattendedText(error, TrustedServer::Imap);
                QVERIFY2(text.contains(QLatin1String(" --trust-certificate ") +
                                       CertificateFingerprint::text(error.digest()) +
                                       QLatin1String(" --list")),
                         qPrintable(text));
            }
            // No keeps the certificate untrusted; Yes trusts it for the mailbox's server only.
            environment.prompt.queueAnswer(Prompt::Answer::No);
            const QString refused = errorOf([&] { openMailbox(mailbox, {}); });
            QVERIFY2(refused.contains(QLatin1String("could not be made secure")),
                     qPrintable(refused));
            QCOMPARE(environment.prompt.questions().size(), 1);
            QVERIFY(environment.prompt.questions()[0].contains(QLatin1String("The IMAP server")));

            environment.prompt.queueAnswer(Prompt::Answer::Yes);
            const MailboxReader::MailboxState state = openMailbox(mailbox, {});
            QCOMPARE(state.uidValidity, 42u);
            QCOMPARE(environment.prompt.questions().size(), 2);
            QCOMPARE(ServerCertificateTrust::trustedFor(QStringLiteral("127.0.0.1"), server.port(),
                                                        TrustedServer::Imap),
                     made.certificate.digest(QCryptographicHash::Sha256));
            QVERIFY(TQuayRegistryObject().ReadTrustedServerCertificate().isEmpty());
            mailbox.close();
            const QList<QByteArray> commands = server.commands();
            if (!implicit)
                QVERIFY(commands.contains("STARTTLS"));
            QVERIFY(commands.contains("AUTHENTICATE PLAIN"));
        }
    }

    // The encryption setting, as for SMTP: TLS from the start on any port, STARTTLS
    // required; a server met with the wrong kind says which to choose.
    void encryptionChoice_data()
    {
        QTest::addColumn<int>("serverTls"); // 0 none, 2 from the start
        QTest::addColumn<int>("encryption");
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("TLS from the start on any port")
            << 2 << int(MailEncryption::TlsFromStart) << QString();
        QTest::newRow("TLS server met without TLS")
            << 2 << int(MailEncryption::ByPort)
            << QStringLiteral("If the server speaks TLS from the start, choose \"TLS from the "
                              "start\" as the IMAP encryption.");
        QTest::newRow("plain server met with TLS")
            << 0 << int(MailEncryption::TlsFromStart)
            << QStringLiteral("If the server does not speak TLS from the start, choose "
                              "\"STARTTLS\" as the IMAP encryption.");
        QTest::newRow("STARTTLS required, not offered")
            << 0 << int(MailEncryption::StartTls)
            << QStringLiteral("offers no STARTTLS, which the IMAP encryption \"STARTTLS\" "
                              "requires.");
    }

    void encryptionChoice()
    {
        QFETCH(int, serverTls);
        QFETCH(int, encryption);
        QFETCH(QString, errorPart);
        const Made made = makeCertificate(QStringLiteral("imap"));
        TestEnvironment environment;
        ScriptedImapServer server;
        if (serverTls > 0)
            server.enableTls(made.certificate, made.key, true);
        ImapMailboxReader mailbox({QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("jo"),
                                   Secret, QStringLiteral("INBOX"), MailEncryption(encryption)});
        mailbox.setConnectTimeoutMs(5000);
        mailbox.setReplyTimeoutMs(300);
        mailbox.addCaCertificates({made.certificate});
        const QString error = errorOf([&] { mailbox.open(); });
        if (errorPart.isEmpty()) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            mailbox.close();
        } else {
            QVERIFY2(error.contains(errorPart), qPrintable(error));
        }
    }

    void settingsFromStore()
    {
        TestEnvironment environment;
        const TQuayRegistryObject store;
        store.WriteUserSMPTName(QStringLiteral("SMTP.example.org"));
        store.WriteUserSMPTServerName(QStringLiteral("jo"));
        store.WriteUserSMPTServerPassword(QStringLiteral("mail"));
        ImapMailboxReader::Settings settings = ImapMailboxReader::settingsFromStore();
        QCOMPARE(settings.host, QStringLiteral("imap.example.org"));
        QCOMPARE(settings.port, 993);
        QCOMPARE(settings.userName, QStringLiteral("jo"));
        QVERIFY(settings.password == QStringLiteral("mail"));
        QCOMPARE(settings.mailbox, QStringLiteral("INBOX"));
        QCOMPARE(settings.encryption, MailEncryption::ByPort);
        store.WriteUserIMAPEncryption(1);
        QCOMPARE(ImapMailboxReader::settingsFromStore().encryption, MailEncryption::TlsFromStart);

        store.WriteUserSMPTName(QStringLiteral("mail.example.org"));
        QCOMPARE(ImapMailboxReader::settingsFromStore().host, QStringLiteral("mail.example.org"));
        store.WriteUserIMAPServer(QStringLiteral("box.example.org"));
        store.WriteUserIMAPPort(143);
        store.WriteUserIMAPUserName(QStringLiteral("box"));
        store.WriteUserIMAPPassword(QStringLiteral("other"));
        store.WriteUserIMAPMailbox(QStringLiteral("Backups"));
        settings = ImapMailboxReader::settingsFromStore();
        QCOMPARE(settings.host, QStringLiteral("box.example.org"));
        QCOMPARE(settings.port, 143);
        QCOMPARE(settings.userName, QStringLiteral("box"));
        QVERIFY(settings.password == QStringLiteral("other"));
        const QString key = ImapMailboxReader(settings).mailboxKey();
        QCOMPARE(key, QStringLiteral("box@box.example.org:143/Backups"));
    }
};

QTEST_GUILESS_MAIN(TestImapSession)
#include "tst_imapsession.moc"
