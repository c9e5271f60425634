#include "backupdata/MachineNumber.h"
#include "core/QuayRegistryObject.h"
#include "sequence/BackUpRequests.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "transport/IdMessage.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The two request e-mails, sent to a real SMTP server on loopback.
class TestBackUpRequests : public QObject
{
    Q_OBJECT

private:
    static void writeSettings(quint16 port)
    {
        const TQuayRegistryObject settings;
        settings.WriteUserSMPTName(QStringLiteral("127.0.0.1"));
        settings.WriteUserConnectionPort(port);
        settings.WriteUserSMPTServerName(QStringLiteral("ann"));
        settings.WriteUserSMPTServerPassword(QStringLiteral("pw"));
        settings.WriteUserEmailAddress(QStringLiteral("ann@example.org"));
        settings.WriteUserBackUpEmailAddress(QStringLiteral("backup@example.org"));
        settings.WriteUserQuayName(QStringLiteral("Ann"));
    }

    // A real SMTP server storing into the test's folder, and settings that point at it.
    static std::unique_ptr<SmtpSink> startSink(const TestEnvironment& env)
    {
        const QString mail = env.path(QStringLiteral("mail"));
        QDir().mkpath(mail);
        auto sink = std::make_unique<SmtpSink>(QStringLiteral(KESTREL_TEST_SCRIPTS), mail,
                                               SmtpSink::Options{});
        writeSettings(sink->port());
        return sink;
    }

    static QJsonObject parsed(const SmtpSink& sink, int number)
    {
        QTemporaryDir out;
        return QJsonDocument::fromJson(
                   SmtpSink::run(QStringLiteral("python3"),
                                 {QStringLiteral(KESTREL_TEST_SCRIPTS "/mail_attachments.py"),
                                  sink.messagePath(number), out.path()}))
            .object();
    }

    static QString envelopeSender(const SmtpSink& sink, int number)
    {
        QFile file(sink.envelopePath(number));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object().value("mail_from").toString();
    }

    static QByteArray stored(const SmtpSink& sink, int number)
    {
        QFile file(sink.messagePath(number));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void subjects()
    {
        TestEnvironment env;
        QCOMPARE(BackUpRequests::lastLogSubject(), QStringLiteral("Kestrel Request#.zip"));
        TQuayRegistryObject().WriteLastBackUpLogFileName(QStringLiteral("U1#42#Ann#0#Log"));
        QCOMPARE(BackUpRequests::lastLogSubject(),
                 QStringLiteral("Kestrel Request#U1#42#Ann#0#Log.zip"));

        TQuayRegistryObject().WriteUserQuayName(QStringLiteral("Ann"));
        const QString subject = BackUpRequests::fileSubject(
            QStringLiteral("ID: 0, Back up date: 14/03/2004 21:40:07, File size: 37 KB"),
            QStringLiteral("report.doc"));
        QCOMPARE(subject, QStringLiteral("Kestrel Request#") + TQuayRegistryObject().ReadUserID() +
                              QStringLiteral("#") + machineNumberText() +
                              QStringLiteral("#Ann#0#report.doc"));
    }

    void lastLogRequestIsSentAndOffersToDisconnect()
    {
        TestEnvironment env;
        const auto sinkOwner = startSink(env);
        const SmtpSink& sink = *sinkOwner;
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        TIdMessage message;
        int hangUps = 0;

        env.prompt.queueAnswer(Prompt::Answer::Yes); // send?
        env.prompt.queueAnswer(Prompt::Answer::No);  // disconnect?
        BackUpRequests::requestLastLog(message, [&hangUps] { ++hangUps; });
        QTRY_VERIFY2(QFile::exists(sink.messagePath(1)),
                     qPrintable(env.prompt.shown().join(QLatin1Char('|'))));
        // A real message: the backups' sender on the envelope and in From, the user's
        // own address to answer to, and a text part, as Python's email package reads it.
        const QJsonObject request = parsed(sink, 1);
        QCOMPARE(request.value("subject").toString(), QStringLiteral("Kestrel Request#.zip"));
        QCOMPARE(request.value("from").toString(), QStringLiteral("ann@[127.0.0.1]"));
        QCOMPARE(request.value("reply_to").toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(request.value("to").toString(), QStringLiteral("backup@example.org"));
        QVERIFY(request.value("text").toString().contains(QStringLiteral("Kestrel Request#.zip")));
        QCOMPARE(request.value("defects").toArray().size(), 0);
        QCOMPARE(envelopeSender(sink, 1), QStringLiteral("ann@[127.0.0.1]"));
        QCOMPARE(hangUps, 0);

        env.prompt.queueAnswer(Prompt::Answer::Yes);
        env.prompt.queueAnswer(Prompt::Answer::Yes);
        BackUpRequests::requestLastLog(message, [&hangUps] { ++hangUps; });
        QTRY_VERIFY(QFile::exists(sink.messagePath(2)));
        QCOMPARE(hangUps, 1);
        QCOMPARE(env.prompt.questions(),
                 (QStringList{"Send back up request for last back up log file?", "Disconnect?",
                              "Send back up request for last back up log file?", "Disconnect?"}));
        QVERIFY(env.prompt.notices().isEmpty());
    }

    void fileRequest()
    {
        TestEnvironment env;
        const auto sinkOwner = startSink(env);
        const SmtpSink& sink = *sinkOwner;
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        TIdMessage message;

        env.prompt.queueAnswer(Prompt::Answer::Yes);
        BackUpRequests::requestFile(message, QStringLiteral("Docs"), QStringLiteral("/"), true);
        QCOMPARE(env.prompt.notices(), QStringList{"Please select Kestrel save note from tree."});
        QVERIFY(env.dialUp.calls().isEmpty());

        env.prompt.queueAnswer(Prompt::Answer::Yes); // send?
        env.prompt.queueAnswer(Prompt::Answer::Yes); // hang up now?
        BackUpRequests::requestFile(
            message, QStringLiteral("ID: 7, Back up date: 14/03/2004, File size: 1 KB"),
            QStringLiteral("report.doc"), false);
        QTRY_VERIFY2(QFile::exists(sink.messagePath(1)),
                     qPrintable(env.prompt.shown().join(QLatin1Char('|'))));
        QVERIFY(stored(sink, 1).contains("#Ann#7#report.doc"));
        QCOMPARE(env.prompt.notices().last(), QStringLiteral("Request for file has been sent."));
        QCOMPARE(env.dialUp.calls(), (QStringList{"dial", "hang up"}));
        QVERIFY(env.clock.waits().contains(5000));
    }

    void failureIsShownNotThrown()
    {
        TestEnvironment env;
        writeSettings(1); // nothing listens on port 1
        TIdMessage message;
        env.prompt.queueAnswer(Prompt::Answer::Yes);
        BackUpRequests::requestLastLog(message, [] {});
        QCOMPARE(env.prompt.notices(),
                 QStringList{"Could not establish connection with SMTP server."});
    }
};

QTEST_GUILESS_MAIN(TestBackUpRequests)
#include "tst_backuprequests.moc"
