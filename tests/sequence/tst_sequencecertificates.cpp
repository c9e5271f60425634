#include "core/CertificateFingerprint.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/BackUpRequests.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/LoopbackMailSettings.h"
#include "support/RecordingSequenceWindow.h"
#include "support/ScriptedPrompt.h"
#include "support/SmtpSink.h"
#include "support/TestCertificate.h"
#include "support/TestEnvironment.h"
#include "transport/IdMessage.h"
#include "transport/ServerCertificateTrust.h"
#include "transport/WrenSMPTObject.h"

#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QTest>
#include <QThread>

#include <memory>

using Kind = TestCertificate::Kind;
using Answer = Prompt::Answer;

// Records the thread each question is asked on (widgets may be shown on the window's
// thread only) and its buttons.
class ThreadRecordingPrompt : public ScriptedPrompt
{
public:
    Answer ask(const QString& text, Buttons buttons, Icon icon) override
    {
        askedOn << QThread::currentThread();
        buttonsShown << buttons;
        return ScriptedPrompt::ask(text, buttons, icon);
    }
    QList<QThread*> askedOn;
    QList<Buttons> buttonsShown;
};

// Sequences and requests against a real SMTP server (aiosmtpd) whose certificate the
// system does not trust: the user is asked on the window's thread while the session
// runs on the worker, and the answer decides this and every later connection.
class TestSequenceCertificates : public QObject
{
    Q_OBJECT

private:
    static constexpr auto Password = "Sm7p pass never shown";

    // One test's server with its certificate, and settings that point at it.
    struct Server
    {
        QString certificateFile;
        std::unique_ptr<SmtpSink> sink;
        bool implicit = false;

        QByteArray digest() const
        {
            return QSslCertificate::fromPath(certificateFile)
                .value(0)
                .digest(QCryptographicHash::Sha256);
        }
        bool received(int number) const { return QFile::exists(sink->messagePath(number)); }
    };

    static Server startServer(const TestEnvironment& env, const QString& name, Kind kind,
                              bool implicit)
    {
        Server server;
        server.implicit = implicit;
        SmtpSink::Options options;
        if (!TestCertificate::make(env.root(), name, kind, &options.certificateFile,
                                   &options.keyFile))
            return server;
        options.implicitTls = implicit;
        options.user = QStringLiteral("jo");
        options.password = QLatin1String(Password);
        server.certificateFile = options.certificateFile;
        const QString mail = env.path(name + QStringLiteral("-mail/"));
        QDir().mkpath(mail);
        server.sink =
            std::make_unique<SmtpSink>(QStringLiteral(KESTREL_TEST_SCRIPTS), mail, options);
        LoopbackMailAccount account;
        account.password = QLatin1String(Password);
        storeLoopbackMailSettings(server.sink->port(), account);
        TQuayRegistryObject().WriteUserEmailAddress(QStringLiteral("jo@example.org"));
        return server;
    }

    // Runs one sequence over a file list of one file; returns its memo history.
    static QStringList runSequence(const Server& server, const TestEnvironment& env,
                                   const QList<QSslCertificate>& systemTrusted = {})
    {
        QFile list(TQuayRegistryObject().ReadFileOfFiles());
        if (list.open(QIODevice::WriteOnly))
            list.write(env.writeFile(QStringLiteral("data/a.txt"), "figures").toUtf8() + "\r\n");
        list.close();
        RecordingSequenceWindow window;
        window.type = SequenceWindow::BackUpType::Full;
        SequenceState state;
        SequenceCompletion completion(window, state);
        BackUpSequence sequence(window, completion);
        const quint16 port = server.sink->port();
        const bool implicit = server.implicit;
        sequence.setSessionSetup([port, implicit, systemTrusted](TWrenSMPTObject& sender) {
            sender.session().setConnectTimeoutMs(10000);
            sender.session().setReplyTimeoutMs(20000);
            if (implicit)
                sender.session().setImplicitTlsPort(port);
            sender.session().addCaCertificates(systemTrusted);
        });
        sequence.RunBackUpSequence();
        return window.history;
    }

    static QString entryFor(const Server& server)
    {
        return ServerCertificateTrust::entry(QStringLiteral("127.0.0.1"), server.sink->port(),
                                             server.digest());
    }

private Q_SLOTS:
    // No fails the connection and sends nothing; Yes trusts the certificate for the
    // server and the sequence goes on; the next sequence is not asked again.
    void answerDecidesTheConnection_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("reasons");
        const QString selfSigned = QStringLiteral("the certificate is signed by itself");
        QTest::newRow("self-signed, STARTTLS") << int(Kind::ForLoopback) << false << selfSigned;
        QTest::newRow("self-signed, implicit TLS") << int(Kind::ForLoopback) << true << selfSigned;
        QTest::newRow("expired, STARTTLS")
            << int(Kind::Expired) << false
            << selfSigned + QStringLiteral("; the certificate has expired");
        QTest::newRow("other host, implicit TLS")
            << int(Kind::ForOtherHost) << true
            << selfSigned + QStringLiteral("; the certificate is for other.example, not 127.0.0.1");
    }

    void answerDecidesTheConnection()
    {
        QFETCH(int, kind);
        QFETCH(bool, implicit);
        QFETCH(QString, reasons);
        TestEnvironment env;
        const Server server = startServer(env, QStringLiteral("server"), Kind(kind), implicit);
        QVERIFY(server.sink && server.sink->port() != 0);
        const TQuayRegistryObject store;

        env.prompt.queueAnswer(Answer::No);
        const QStringList refused = runSequence(server, env);
        QCOMPARE(env.prompt.questions().size(), 1);
        const QString question = env.prompt.questions().constFirst();
        const QString serverText = QStringLiteral("127.0.0.1 port %1").arg(server.sink->port());
        QVERIFY2(question.startsWith(QStringLiteral("The SMTP server ") + serverText +
                                     QStringLiteral(" showed a certificate that this computer "
                                                    "does not trust: ") +
                                     reasons + QStringLiteral(".\n")),
                 qPrintable(question));
        QVERIFY(question.contains(QStringLiteral("\nServer: ") + serverText + QLatin1Char('\n')));
        QVERIFY(question.contains(QStringLiteral("\nSubject: CN=")));
        QVERIFY(question.contains(QStringLiteral("\nIssuer: CN=")));
        QVERIFY(question.contains(QStringLiteral("\nValid from ")));
        QVERIFY(question.contains(QStringLiteral("\nSHA-256 fingerprint: ") +
                                  CertificateFingerprint::text(server.digest())));
        QVERIFY(
            question.contains(QStringLiteral("Do you trust this certificate for ") + serverText));
        const qsizetype failed =
            refused.indexOf(QStringLiteral("Could not establish connection with SMTP server."));
        QVERIFY2(failed >= 0, qPrintable(refused.join(QLatin1Char('\n'))));
        QVERIFY(refused.value(failed + 1)
                    .startsWith(QStringLiteral("The connection could not be made secure (") +
                                serverText + QStringLiteral("): ") + reasons));
        QVERIFY(!server.received(1));
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QVERIFY(store.ReadTrustedServerCertificate().isEmpty());

        env.prompt.queueAnswer(Answer::Yes);
        const QStringList trusted = runSequence(server, env);
        QVERIFY2(store.ReadBackUpSequenceSuccess(), qPrintable(trusted.join(QLatin1Char('\n'))));
        QCOMPARE(env.prompt.questions().size(), 2);
        QCOMPARE(env.prompt.questions().constLast(), question);
        QCOMPARE(store.ReadTrustedServerCertificate(), entryFor(server));
        QVERIFY(server.received(2)); // the file and the log

        const QStringList later = runSequence(server, env);
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QCOMPARE(env.prompt.questions().size(), 2);
        QVERIFY(env.prompt.unexpected().isEmpty());
        QVERIFY(server.received(4));

        for (const QStringList* history : {&refused, &trusted, &later})
            QVERIFY(!history->join(QLatin1Char('\n')).contains(QLatin1String(Password)));
        QVERIFY(!env.prompt.shown().join(QLatin1Char('\n')).contains(QLatin1String(Password)));
    }

    // A server whose certificate differs from the one trusted for it is asked about
    // again, and the question says that it changed.
    void changedCertificateIsAskedAgain()
    {
        TestEnvironment env;
        const Server server = startServer(env, QStringLiteral("renewed"), Kind::ForLoopback, false);
        QVERIFY(server.sink && server.sink->port() != 0);
        QString earlierFile;
        QString earlierKey;
        QVERIFY(TestCertificate::make(env.root(), QStringLiteral("earlier"), Kind::ForLoopback,
                                      &earlierFile, &earlierKey));
        const QByteArray earlier =
            QSslCertificate::fromPath(earlierFile).value(0).digest(QCryptographicHash::Sha256);
        ServerCertificateTrust::trust(QStringLiteral("127.0.0.1"), server.sink->port(), earlier);

        ThreadRecordingPrompt prompt;
        Services::Set services = Services::current();
        services.prompt = &prompt;
        const ScopedServices recording(services);
        prompt.queueAnswer(Answer::Yes);
        const QStringList history = runSequence(server, env);
        QVERIFY2(TQuayRegistryObject().ReadBackUpSequenceSuccess(),
                 qPrintable(history.join(QLatin1Char('\n'))));
        QCOMPARE(prompt.askedOn, QList<QThread*>{QThread::currentThread()});
        QCOMPARE(prompt.buttonsShown, QList<Prompt::Buttons>{Prompt::Buttons::YesNoDefaultNo});
        QCOMPARE(prompt.questions().size(), 1);
        const QString question = prompt.questions().constFirst();
        QVERIFY2(question.startsWith(
                     QStringLiteral("The certificate of the SMTP server 127.0.0.1 port %1 has "
                                    "changed since you trusted it (then SHA-256 fingerprint %2)")
                         .arg(server.sink->port())
                         .arg(CertificateFingerprint::text(earlier))),
                 qPrintable(question));
        QVERIFY(question.contains(CertificateFingerprint::text(server.digest())));
        QCOMPARE(TQuayRegistryObject().ReadTrustedServerCertificate(), entryFor(server));
        QVERIFY(server.received(2));
    }

    // A certificate the system trusts is never asked about, and nothing is stored.
    void systemTrustedCertificateIsNotAskedAbout()
    {
        TestEnvironment env;
        for (const bool implicit : {false, true}) {
            const Server server =
                startServer(env, implicit ? QStringLiteral("implicit") : QStringLiteral("starttls"),
                            Kind::ForLoopback, implicit);
            QVERIFY(server.sink && server.sink->port() != 0);
            const QStringList history =
                runSequence(server, env, QSslCertificate::fromPath(server.certificateFile));
            QVERIFY2(TQuayRegistryObject().ReadBackUpSequenceSuccess(),
                     qPrintable(history.join(QLatin1Char('\n'))));
            QVERIFY(server.received(2));
        }
        QVERIFY(env.prompt.questions().isEmpty());
        QVERIFY(TQuayRegistryObject().ReadTrustedServerCertificate().isEmpty());
    }

    // Both requests connect through the same question.
    void requestsAskToo()
    {
        TestEnvironment env;
        const Server server = startServer(env, QStringLiteral("requests"), Kind::Expired, false);
        QVERIFY(server.sink && server.sink->port() != 0);
        TIdMessage message;

        env.prompt.queueAnswer(Answer::Yes); // send?
        env.prompt.queueAnswer(Answer::No);  // trust?
        BackUpRequests::requestFile(message, QStringLiteral("ID: 3, Back up date: 01/02/2026"),
                                    QStringLiteral("a.txt"), false);
        QCOMPARE(env.prompt.notices(),
                 QStringList{"Could not establish connection with SMTP server."});
        QVERIFY(!server.received(1));
        QVERIFY(TQuayRegistryObject().ReadTrustedServerCertificate().isEmpty());

        env.prompt.queueAnswer(Answer::Yes); // send?
        env.prompt.queueAnswer(Answer::Yes); // trust?
        env.prompt.queueAnswer(Answer::No);  // disconnect?
        BackUpRequests::requestLastLog(message, [] {});
        QTRY_VERIFY(server.received(1));
        QCOMPARE(TQuayRegistryObject().ReadTrustedServerCertificate(), entryFor(server));
        const QStringList questions = env.prompt.questions();
        QCOMPARE(questions.size(), 5);
        QVERIFY(questions.at(1).contains(QStringLiteral("the certificate has expired")));
        QCOMPARE(questions.at(3), questions.at(1));
        QCOMPARE(questions.at(4), QStringLiteral("Disconnect?"));

        env.prompt.queueAnswer(Answer::Yes); // send?
        env.prompt.queueAnswer(Answer::No);  // hang up now?
        BackUpRequests::requestFile(message, QStringLiteral("ID: 3, Back up date: 01/02/2026"),
                                    QStringLiteral("a.txt"), false);
        QTRY_VERIFY(server.received(2));
        QCOMPARE(env.prompt.questions().size(), 7);
        QVERIFY(env.prompt.unexpected().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSequenceCertificates)
#include "tst_sequencecertificates.moc"
