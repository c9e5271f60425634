#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "restore/MailboxCatalog.h"
#include "restore/MailboxConnection.h"
#include "restore/MailboxLogRebuild.h"
#include "restore/MailboxRestore.h"
#include "restore/RestoreProgress.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/DovecotServer.h"
#include "support/LoopbackMailSettings.h"
#include "support/ProgramRun.h"
#include "support/RecordingSequenceWindow.h"
#include "support/ScriptedOAuthServer.h"
#include "support/SmtpSink.h"
#include "support/TestCertificate.h"
#include "support/TestEnvironment.h"
#include "transport/AccessToken.h"
#include "transport/ImapMailboxReader.h"
#include "transport/OAuthAccessToken.h"
#include "transport/OAuthSignIn.h"
#include "transport/SignInView.h"
#include "transport/WrenSMPTObject.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTest>

namespace {

constexpr const char* ZipPassword = "zip secret";

class QuietProgress : public RestoreProgress
{
public:
    void status(const QString& text) override { lines << text; }
    void progress(qint64, qint64) override {}
    QStringList lines;
};

QByteArray noise(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

const SavedFile* fileAt(const QList<SavedFile>& files, const QString& path)
{
    for (const SavedFile& file : files)
        if (file.path == path)
            return &file;
    return nullptr;
}

} // namespace

// The whole way back: the program's own sequences mail their save notes to a real
// SMTP server, the test delivers them into a real dovecot's maildir, and the mailbox
// is listed and restored from over IMAP on loopback.
class TestMailboxDovecot : public QObject
{
    Q_OBJECT

    struct World
    {
        TestEnvironment env;
        SmtpSink sink;
        DovecotServer dovecot;
        QString first, second, big, small;
        QByteArray firstVersion1, firstVersion2, bigContent, smallContent;

        static SmtpSink::Options sinkOptions()
        {
            SmtpSink::Options options;
            // Small enough that the big file goes out in parts.
            options.sizeLimit = 60000;
            return options;
        }

        World()
            : sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")),
                   sinkOptions()),
              dovecot(env.path(QStringLiteral("dovecot")), {})
        {}

        void runSequence()
        {
            RecordingSequenceWindow window;
            SequenceState state;
            SequenceCompletion completion(window, state);
            BackUpSequence sequence(window, completion);
            sequence.setSessionSetup(
                [](TWrenSMPTObject& sender) { sender.session().setReplyTimeoutMs(20000); });
            sequence.RunBackUpSequence();
            QVERIFY2(TQuayRegistryObject().ReadBackUpSequenceSuccess(),
                     qPrintable(window.history.join(u'\n')));
        }

        // Two sequences: the second finds one file changed, so it has two versions.
        void backUpTwice()
        {
            QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
            LoopbackMailAccount account;
            account.zipPassword = QLatin1String(ZipPassword);
            storeLoopbackMailSettings(sink.port(), account);
            const TQuayRegistryObject store;
            firstVersion1 = "the first words\n";
            bigContent = noise(150000);
            smallContent = "small; with a semicolon\n";
            first = env.writeFile(QStringLiteral("data/notes.txt"), firstVersion1);
            big = env.writeFile(QStringLiteral("data/sub/big.bin"), bigContent);
            // A path longer than a header line may be, without a blank to fold at, and a
            // name that is not ASCII: the subject goes as encoded words the server's
            // search still finds, the attachment name as RFC 2231 parameters.
            QString deep = QStringLiteral("data/sub");
            for (int i = 0; i < 5; ++i)
                deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
            small =
                env.writeFile(deep + QStringLiteral("/small;odd \u00e9t\u00e9.txt"), smallContent);
            QFile list(store.ReadFileOfFiles());
            QVERIFY(list.open(QIODevice::WriteOnly));
            for (const QString& path : {first, big, small})
                list.write(path.toUtf8() + "\r\n");
            list.close();
            runSequence();

            env.clock.advance(3600 * 1000);
            firstVersion2 = "the second words, longer than the first\n";
            env.writeFile(QStringLiteral("data/notes.txt"), firstVersion2);
            QFile changed(first);
            QVERIFY(changed.open(QIODevice::ReadWrite));
            changed.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                QFileDevice::FileModificationTime);
            changed.close();
            runSequence();
        }
    };

    static MailboxCatalog::Refresh list(World& world, MailboxCatalog& catalog)
    {
        ImapMailboxReader reader(world.dovecot.readerSettings());
        QuietProgress progress;
        const MailboxReader::MailboxState opened = openMailbox(reader, {});
        const MailboxCatalog::Refresh refresh =
            catalog.refresh(reader, opened, reader.mailboxKey(), progress);
        reader.close();
        return refresh;
    }

    static MailboxRestore::Summary restore(World& world, const QList<SavedVersion>& versions,
                                           const QString& target)
    {
        ImapMailboxReader reader(world.dovecot.readerSettings());
        openMailbox(reader, {});
        MailboxRestore restore(reader, target, QLatin1String(ZipPassword));
        QuietProgress progress;
        const MailboxRestore::Summary summary = restore.restore(versions, progress);
        reader.close();
        return summary;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!DovecotServer::available())
            QSKIP("dovecot is not installed");
    }

    void listRestoreAndCatalog()
    {
        World world;
        try {
            listRestoreAndCatalogIn(world);
        } catch (const KestrelError& error) {
            QFAIL(qPrintable(error.message() + u'\n' + world.dovecot.logText()));
        }
    }

    // TLS from the first byte, with a certificate of the test's own making.
    void readsOverTls()
    {
        TestEnvironment env;
        QString certificate, key;
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("dovecot"))));
        QVERIFY(TestCertificate::make(env.path(QStringLiteral("dovecot")), QStringLiteral("imap"),
                                      TestCertificate::Kind::ForLoopback, &certificate, &key));
        DovecotServer::Options options;
        options.certificateFile = certificate;
        options.keyFile = key;
        DovecotServer dovecot(env.path(QStringLiteral("dovecot")), options);
        QVERIFY2(dovecot.port() != 0, qPrintable(dovecot.errorText()));
        QVERIFY(dovecot.deliver("Subject: KestrelSolo Save#1#/home/ann/a.txt\r\n"
                                "Date: Tue, 08 Dec 2026 10:00:00 +0000\r\n\r\nno body\r\n"));
        ImapMailboxReader reader({QStringLiteral("127.0.0.1"), dovecot.tlsPort(), options.user,
                                  options.password, QStringLiteral("INBOX")});
        reader.setImplicitTlsPort(dovecot.tlsPort());
        reader.addCaCertificates(QSslCertificate::fromPath(certificate));
        try {
            QCOMPARE(openMailbox(reader, {}).messages, 1u);
            QCOMPARE(reader.findSubjects(QStringLiteral("KestrelSolo Save#")).size(), 1);
            reader.close();
        } catch (const KestrelError& error) {
            QFAIL(qPrintable(error.message() + u'\n' + dovecot.logText()));
        }
    }

    // Dovecot asks the scripted authorization server whether an access token is active:
    // the one the program's sign-in got logs in, the same one withdrawn is refused.
    void logsInWithAnOAuth2AccessToken()
    {
        struct NoView : SignInView
        {
            void openAddress(const QUrl&) override {}
            void showDeviceCode(const QString&, const QUrl&, const QUrl&) override {}
            void showStatus(const QString&) override {}
        } view;
        TestEnvironment env;
        ScriptedOAuthServer authorization(QStringLiteral(KESTREL_TEST_SCRIPTS),
                                          {QStringLiteral("--username"), QStringLiteral("ann")});
        QVERIFY2(authorization.port() != 0, qPrintable(authorization.errorText()));
        DovecotServer::Options options;
        options.oauth2IntrospectionUrl =
            authorization.url(QStringLiteral("/introspect")).toString();
        DovecotServer dovecot(env.path(QStringLiteral("dovecot")), options);
        QVERIFY2(dovecot.port() != 0, qPrintable(dovecot.errorText()));
        authorization.storeAsClient(true);
        OAuthAccessToken::forgetAll();
        QString token;
        try {
            OAuthSignIn(MailServerSide::Imap, view).run(OAuthSignIn::Flow::DeviceCode);
            token = accessTokenSource(MailAuthMethod::OAuth2, QString(), QStringLiteral("IMAP"))();
        } catch (const KestrelError& error) {
            QFAIL(qPrintable(error.message()));
        }
        const auto open = [&] {
            ImapMailboxReader::Settings settings = dovecot.readerSettings();
            settings.password.clear();
            settings.accessToken = [token] {
                return token;
            };
            ImapMailboxReader reader(settings);
            try {
                openMailbox(reader, {});
                reader.close();
            } catch (const KestrelError& error) {
                return error.message();
            }
            return QString();
        };
        const QString accepted = open();
        QVERIFY2(accepted.isEmpty(), qPrintable(accepted + u'\n' + dovecot.logText()));
        authorization.control({{"revoke_all", true}});
        const QString refused = open();
        QVERIFY2(refused.contains(QLatin1String("AUTHENTICATIONFAILED")) &&
                     !refused.contains(token),
                 qPrintable(refused));
    }

private:
    static void listRestoreAndCatalogIn(World& world)
    {
        QVERIFY2(world.dovecot.port() != 0, qPrintable(world.dovecot.errorText()));
        world.backUpTwice();
        if (QTest::currentTestFailed())
            return;
        const int delivered = world.dovecot.deliverFolder(world.env.path(QStringLiteral("sink")));
        QVERIFY(delivered >= 6);

        // The first listing reads every note; each file shows its versions, newest first.
        MailboxCatalog catalog(world.env.path(QStringLiteral("cache")));
        const MailboxCatalog::Refresh first = list(world, catalog);
        QCOMPARE(first.notesRead, delivered);
        QVERIFY(first.readEverything);
        const SavedFile* notes = fileAt(catalog.files(), world.first);
        QVERIFY(notes);
        QCOMPARE(notes->versions.size(), 2);
        QVERIFY(notes->versions[0].noteDate >= notes->versions[1].noteDate);
        const SavedFile* big = fileAt(catalog.files(), world.big);
        QVERIFY(big);
        QVERIFY(big->versions.value(0).partCount >= 2);
        QVERIFY(big->versions.value(0).complete());
        QCOMPARE(catalog.matching(QStringLiteral("small;")).size(), 1);

        // The second listing of the same mailbox comes from the catalog.
        MailboxCatalog again(world.env.path(QStringLiteral("cache")));
        const MailboxCatalog::Refresh second = list(world, again);
        QCOMPARE(second.notesRead, 0);
        QCOMPARE(second.notesFromCache, delivered);
        QCOMPARE(again.files().size(), catalog.files().size());

        // One chosen (older) version, then a folder whose big file came in parts.
        const QString target = world.env.path(QStringLiteral("restored"));
        MailboxRestore::Summary summary = restore(world, {notes->versions[1]}, target);
        QCOMPARE(summary.restored, 1);
        QCOMPARE(contentOf(target + world.first), world.firstVersion1);

        QList<SavedVersion> folder;
        for (const SavedFile& file : catalog.matching(world.env.path(QStringLiteral("data/sub/*"))))
            folder << file.versions.first();
        QCOMPARE(folder.size(), 2);
        summary = restore(world, folder, target);
        QVERIFY2(summary.restored == 2, qPrintable(summary.text()));
        QCOMPARE(contentOf(target + world.big), world.bigContent);
        QCOMPARE(contentOf(target + world.small), world.smallContent);

        // The same from a script: the built program, with the stored IMAP settings.
        world.dovecot.storeReaderSettings();
        ProgramRun listed = ProgramRun::run({QStringLiteral("--list"), QStringLiteral("small")});
        QVERIFY2(listed.exitCode == 0, qPrintable(listed.errors));
        QVERIFY2(listed.out.contains(world.small), qPrintable(listed.out));
        QVERIFY(!listed.out.contains(world.big));
        const QString scripted = world.env.path(QStringLiteral("scripted"));
        ProgramRun restored =
            ProgramRun::run({QStringLiteral("--restore"), QStringLiteral("*notes.txt"),
                             QStringLiteral("--to"), scripted});
        QVERIFY2(restored.exitCode == 0, qPrintable(restored.out + restored.errors));
        QCOMPARE(contentOf(scripted + world.first), world.firstVersion2);
        ProgramRun verified = ProgramRun::run({QStringLiteral("--verify"), QStringLiteral("3")});
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.errors));
        for (const ProgramRun& run : {listed, restored, verified})
            QVERIFY(!(run.out + run.errors).contains(world.dovecot.options().password));

        // A new mailbox under the same name is read again from the start.
        world.dovecot.recreateMailbox();
        QVERIFY(world.dovecot.deliverFolder(world.env.path(QStringLiteral("sink"))) == delivered);
        MailboxCatalog renewed(world.env.path(QStringLiteral("cache")));
        const MailboxCatalog::Refresh third = list(world, renewed);
        QVERIFY(third.readEverything);
        QCOMPARE(third.notesRead, delivered);

        // The log written back: each archive's head (the password check) and tail (its
        // directory) are fetched alone, from the parts the server's structure names.
        int versions = 0;
        for (const SavedFile& file : renewed.files())
            versions += static_cast<int>(file.versions.size());
        // The files and notes carry this computer's real dates.
        world.env.clock.setNow(QDateTime::currentDateTime());
        ImapMailboxReader reader(world.dovecot.readerSettings());
        openMailbox(reader, {});
        QuietProgress progress;
        const MailboxLogRebuild::Result rebuilt =
            MailboxLogRebuild::rebuild(renewed, reader, progress);
        reader.close();
        QVERIFY2(rebuilt.records == versions, qPrintable(progress.lines.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestMailboxDovecot)
#include "tst_mailboxdovecot.moc"
