#include "backupdata/TernFileObject.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/MailedArchive.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "transport/IdMessage.h"
#include "transport/MessageIdentity.h"
#include "transport/WrenSMPTObject.h"
#include "transport/ZipMaster.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTest>

// Save notes and requests through a real SMTP server (aiosmtpd on loopback), read
// back with Python's email package and unpacked with an independent zip tool.
class TestMailTransport : public QObject
{
    Q_OBJECT

private:
    static constexpr auto zipPassword = "Zip pass w0rd";

    static void writeSettings(quint16 port, const QString& user, const QString& password)
    {
        const TQuayRegistryObject settings;
        settings.WriteUserSMPTName(QStringLiteral("127.0.0.1"));
        settings.WriteUserSMPTServerName(user);
        settings.WriteUserSMPTServerPassword(password);
        settings.WriteUserConnectionPort(port);
        settings.WriteUserBackUpEmailAddress(
            QStringLiteral("backup@example.org, Second <second@example.org>"));
        settings.WriteUserZipPassword(QString::fromLatin1(zipPassword));
        // Save notes come from the SMTP account, never from this address.
        settings.WriteUserEmailAddress(QStringLiteral("someone.else@example.org"));
    }

    static QByteArray sourceContent()
    {
        QByteArray content;
        for (int i = 0; i < 2000; ++i)
            content += "A line of ordinary text that compresses well, number " +
                       QByteArray::number(i) + "\n";
        QByteArray random(300 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(7);
        for (char& byte : random)
            byte = static_cast<char>(generator.generate());
        return content + random;
    }

    static QJsonObject readJson(const QByteArray& text)
    {
        return QJsonDocument::fromJson(text).object();
    }

    // Backs up one file as the sequence does: save note, archive, SendZip.
    static void backUp(TWrenSMPTObject& sender, TIdMessage& message, const QString& file,
                       QString* subject)
    {
        TTernFileObject fileObject;
        fileObject.SetFileName(file);
        fileObject.PrepareSaveNote(message);
        *subject = message.Subject;
        TZipMaster zip;
        fileObject.CreateZip(zip);
        sender.SendZip(message, zip);
        QVERIFY(!QFile::exists(zip.ZipFileName()));
        QVERIFY(message.MessageParts.empty());
    }

    void sendAndCheck(const SmtpSink::Options& options, const QString& user,
                      const QString& password, bool encrypted)
    {
        TestEnvironment env;
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")),
                      options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        writeSettings(sink.port(), user, password);
        const QByteArray content = sourceContent();
        const QString source =
            env.writeFile(QStringLiteral("home/Documents/Bericht \u00fcber #3.txt"), content);

        TWrenSMPTObject sender;
        if (!options.certificateFile.isEmpty())
            sender.session().addCaCertificates(QSslCertificate::fromPath(options.certificateFile));
        sender.Connect();
        QCOMPARE(sender.session().isEncrypted(), encrypted);
        TIdMessage message;
        QString subject;
        backUp(sender, message, source, &subject);
        QString secondSubject;
        backUp(sender, message, source, &secondSubject);
        message.From.setText(QStringLiteral("jo@example.org"));
        message.Subject = QStringLiteral("Kestrel Request#1#2#Jo#0#report");
        sender.Send(message);
        sender.Disconnect();

        for (int number = 1; number <= 2; ++number) {
            const MailedArchive mailed = MailedArchive::read(
                sink.messagePath(number), env.path(QStringLiteral("mailed-%1").arg(number)),
                QString::fromLatin1(zipPassword));
            QCOMPARE(mailed.content, content);
            QCOMPARE(mailed.subject, number == 1 ? subject : secondSubject);
            QCOMPARE(mailed.parsed.value(QLatin1String("defects")).toArray().size(), 0);
            QFile envelopeFile(sink.envelopePath(number));
            QVERIFY(envelopeFile.open(QIODevice::ReadOnly));
            const QJsonObject envelope = readJson(envelopeFile.readAll());
            QCOMPARE(envelope.value(QLatin1String("mail_from")).toString(),
                     user + QStringLiteral("@[127.0.0.1]"));
            QCOMPARE(envelope.value(QLatin1String("rcpt_tos")).toArray().size(), 2);
            QCOMPARE(envelope.value(QLatin1String("tls")).toBool(), encrypted);
            QCOMPARE(envelope.value(QLatin1String("authenticated")).toBool(),
                     !options.user.isEmpty());
        }
        const MailedArchive requestMail =
            MailedArchive::read(sink.messagePath(3), env.path(QStringLiteral("mailed-3")),
                                QString::fromLatin1(zipPassword));
        QVERIFY(requestMail.content.isEmpty());
        const QJsonObject& request = requestMail.parsed;
        QCOMPARE(request.value(QLatin1String("multipart")).toBool(), false);
        QCOMPARE(request.value(QLatin1String("subject")).toString(),
                 QStringLiteral("Kestrel Request#1#2#Jo#0#report"));
    }

private Q_SLOTS:
    void plainConnection()
    {
        sendAndCheck({}, QStringLiteral("jo"), QStringLiteral("unused"), false);
    }

    void startTlsAndLogin()
    {
        QTemporaryDir certificates;
        SmtpSink::Options options;
        QVERIFY(SmtpSink::makeCertificate(certificates.path(), &options.certificateFile,
                                          &options.keyFile));
        options.user = QStringLiteral("jo");
        options.password = QStringLiteral("Secret pass");
        sendAndCheck(options, options.user, options.password, true);
    }

    void refusedLoginAndUntrustedCertificate()
    {
        TestEnvironment env;
        SmtpSink::Options options;
        QVERIFY(SmtpSink::makeCertificate(env.root(), &options.certificateFile, &options.keyFile));
        options.user = QStringLiteral("jo");
        options.password = QStringLiteral("Right pass");
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")),
                      options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));

        const QString wrongPassword = QStringLiteral("Wrong pass");
        writeSettings(sink.port(), options.user, wrongPassword);
        TWrenSMPTObject untrusting;
        try {
            untrusting.Connect();
            QFAIL("a self-signed certificate was accepted");
        } catch (const KestrelError& error) {
            QVERIFY2(error.message().contains(QLatin1String("secure")),
                     qPrintable(error.message()));
        }
        QVERIFY(!untrusting.Connected());

        TWrenSMPTObject refused;
        refused.session().addCaCertificates(QSslCertificate::fromPath(options.certificateFile));
        try {
            refused.Connect();
            QFAIL("a wrong password was accepted");
        } catch (const KestrelError& error) {
            QVERIFY2(error.message().contains(QLatin1String("535")), qPrintable(error.message()));
            QVERIFY(!error.message().contains(wrongPassword));
            QVERIFY(
                !error.message().contains(QString::fromLatin1(wrongPassword.toUtf8().toBase64())));
        }
        QVERIFY(!QFile::exists(sink.messagePath(1)));
    }

    // An archive in parts under the server's SIZE: every message within it, and the
    // decoded parts joined are the archive, byte for byte. The archive stays until
    // it is deleted after the last part.
    void archiveInPartsJoinsIntoTheArchive()
    {
        TestEnvironment env;
        SmtpSink::Options options;
        options.sizeLimit = 60000;
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")),
                      options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        writeSettings(sink.port(), QStringLiteral("jo"), QStringLiteral("unused"));
        const QString source = env.writeFile(QStringLiteral("home/large.bin"), sourceContent());
        TTernFileObject fileObject;
        fileObject.SetFileName(source);
        TIdMessage message;
        fileObject.PrepareSaveNote(message);
        const QString subject = message.Subject;
        TZipMaster zip;
        fileObject.CreateZip(zip);
        QFile archiveFile(zip.ZipFileName());
        QVERIFY(archiveFile.open(QIODevice::ReadOnly));
        const QByteArray archive = archiveFile.readAll();
        archiveFile.close();

        TWrenSMPTObject sender;
        sender.Connect();
        QCOMPARE(sender.session().sizeLimit(), options.sizeLimit);
        QVERIFY(sender.ZipMessageSize(message, zip.ZipFileName()) > options.sizeLimit);
        const std::optional<ArchivePartPlan> plan =
            sender.PlanZipParts(message, zip.ZipFileName(), options.sizeLimit);
        QVERIFY(plan);
        QVERIFY(plan->count() >= 5);
        const QString setId = MessageIdentity::newSetId();
        for (int part = 1; part <= plan->count(); ++part)
            sender.SendZipPart(message, zip.ZipFileName(), *plan, part, setId);
        QCOMPARE(message.Subject, subject);
        QVERIFY(message.MessageParts.empty());
        QVERIFY(QFile::exists(zip.ZipFileName()));
        sender.DeleteZip(zip.ZipFileName());
        QVERIFY(!QFile::exists(zip.ZipFileName()));
        sender.Disconnect();

        QByteArray joined;
        for (int part = 1; part <= plan->count(); ++part) {
            QVERIFY(QFileInfo(sink.messagePath(part)).size() <= options.sizeLimit);
            const MailedArchive mailed = MailedArchive::read(
                sink.messagePath(part), env.path(QStringLiteral("part-%1").arg(part)),
                QString::fromLatin1(zipPassword));
            QCOMPARE(mailed.subject, subject + ArchivePartPlan::subjectSuffix(part, plan->count()));
            // One set: the same identifier on every part, and a Message-ID of each its own.
            QCOMPARE(mailed.parsed.value(QLatin1String("set")).toString(), setId);
            QCOMPARE(
                mailed.parsed.value(QLatin1String("message_id")).toString(),
                MessageIdentity::noteMessageId(setId, part, plan->count(), message.From.Address));
            QCOMPARE(mailed.attachmentName,
                     ArchivePartPlan::partName(QFileInfo(zip.ZipFileName()).fileName(), part,
                                               plan->count()));
            joined += mailed.attachment;
        }
        QCOMPARE(joined, archive);
        QVERIFY(!QFile::exists(sink.messagePath(plan->count() + 1)));
    }
};

QTEST_GUILESS_MAIN(TestMailTransport)
#include "tst_mailtransport.moc"
