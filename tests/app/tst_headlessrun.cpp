#include "core/CertificateFingerprint.h"
#include "core/PrivateFiles.h"
#include "core/QuayRegistryObject.h"
#include "core/SecretKeeping.h"
#include "core/SettingsDatabase.h"
#include "sequence/HeadlessRun.h"
#include "sequence/SequenceLock.h"
#include "support/LoopbackMailSettings.h"
#include "support/MailedArchive.h"
#include "support/PrivateKeyring.h"
#include "support/ProgramRun.h"
#include "support/ScriptedOAuthServer.h"
#include "support/ScriptedSmtpServer.h"
#include "support/SmtpSink.h"
#include "support/TestCertificate.h"
#include "support/TestEnvironment.h"
#include "transport/ServerCertificateTrust.h"
#include "ui/SummaryPage.h"
#include "ui/frmKestrelClientMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QLockFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSslCertificate>
#include <QTextStream>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

// kestrelsolo --run: the built executable in a temporary home with the recording
// platform fakes and no display, against a real SMTP server (aiosmtpd) and a scripted
// one; and the same run in this process, where the clock and the power-off are fakes.
class TestHeadlessRun : public QObject
{
    Q_OBJECT

private:
    static constexpr auto ZipPassword = "headless zip";

    using Finished = ProgramRun;

    // Runs the real executable. Without a display or a platform plugin named, a window
    // program could not even start: the run proves it needs none.
    static Finished runKestrel(const QStringList& arguments,
                               const QString& program = QStringLiteral("kestrelsolo"))
    {
        return ProgramRun::run(arguments, program);
    }

    static void pointAt(quint16 port)
    {
        storeLoopbackMailSettings(port, {QStringLiteral("ann"), QStringLiteral("pw"),
                                         QStringLiteral("backup@example.org"),
                                         QLatin1String(ZipPassword)});
    }

    static void listFile(const QString& path)
    {
        QFile list(TQuayRegistryObject().ReadFileOfFiles());
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(path.toUtf8() + "\r\n");
    }

private Q_SLOTS:
    void runMailsTheListedFilesAndSucceeds()
    {
        TestEnvironment env;
        const QString mail = env.path(QStringLiteral("mail/"));
        QDir().mkpath(mail);
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), mail, SmtpSink::Options{});
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        pointAt(sink.port());
        const QString file = env.writeFile(QStringLiteral("data/report.txt"), "quarterly figures");
        listFile(file);

        // As an earlier version left them: folders and files readable by others.
        for (const QString& root : PrivateFiles::programRoots())
            ::chmod(QFile::encodeName(root).constData(), 0755);

        const Finished incremental = runKestrel({QStringLiteral("--run")});
        QVERIFY2(incremental.exitCode == HeadlessRun::Succeeded,
                 qPrintable(incremental.out + incremental.errors));
        QVERIFY(incremental.out.contains(QStringLiteral("Backed up version of ") + file +
                                         QStringLiteral(" is superseded.")));
        QVERIFY(incremental.out.contains(QStringLiteral("Back up sequence completed: ")));
        QVERIFY(incremental.out.contains(QStringLiteral("\n17 bytes of 17 bytes sent\n")));
        const MailedArchive mailed = MailedArchive::read(
            sink.messagePath(1), env.path(QStringLiteral("mailed-1")), QLatin1String(ZipPassword));
        QVERIFY2(mailed.subject.endsWith(QLatin1Char('#') + file), qPrintable(mailed.subject));
        QCOMPARE(mailed.content, QByteArray("quarterly figures"));
        QVERIFY(QFile::exists(sink.messagePath(2))); // the log
        const TQuayRegistryObject store;
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 1);
        QVERIFY(QFile::exists(store.ReadQuayDirectory() + QStringLiteral("/Status Files/") +
                              store.ReadSequenceFile()));

        // Nothing changed, but a full back up sends the file again.
        const Finished full = runKestrel({QStringLiteral("--run"), QStringLiteral("--full")});
        QCOMPARE(full.exitCode, int(HeadlessRun::Succeeded));
        QVERIFY(full.out.contains(QStringLiteral("Full backed up of ") + file +
                                  QStringLiteral(" requested.")));
        QVERIFY(QFile::exists(sink.messagePath(4)));
        QVERIFY(!QFile::exists(SequenceLock::path()));

        // The program's own files name every backed-up path: the user's alone.
        int files = 0;
        for (const QString& root : PrivateFiles::programRoots()) {
            QDirIterator entries(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                 QDirIterator::Subdirectories);
            QStringList paths;
            if (QFileInfo::exists(root))
                paths << root;
            while (entries.hasNext())
                paths << entries.next();
            for (const QString& path : std::as_const(paths)) {
                struct stat info = {};
                QVERIFY(::lstat(QFile::encodeName(path).constData(), &info) == 0);
                QVERIFY2((info.st_mode & 0077) == 0 || S_ISLNK(info.st_mode),
                         qPrintable(path + QString::number(info.st_mode, 8)));
                files += S_ISREG(info.st_mode);
            }
        }
        QVERIFY(files >= 5);
    }

    // --dry-run lists what would go and what the exclusions leave out, and why; nothing
    // is packed, sent or logged, and no server is needed.
    void dryRunListsWithoutSending()
    {
        TestEnvironment env;
        const TQuayRegistryObject store;
        const QString report = env.writeFile(QStringLiteral("data/report.txt"), "figures");
        const QString draft = env.writeFile(QStringLiteral("data/draft.tmp"), "scratch");
        const QString big =
            env.writeFile(QStringLiteral("data/sub/big.bin"), QByteArray(1024 * 1024 + 1, 'x'));
        const QString tag = env.writeFile(QStringLiteral("data/cache/CACHEDIR.TAG"),
                                          "Signature: 8a477f597d28d172789f06886806bc55");
        env.writeFile(QStringLiteral("data/cache/blob"), "made again");
        // A name that is not UTF-8 cannot be backed up, and the run says so; an escape
        // in a name reaches the terminal shown, not obeyed.
        const QByteArray latin1 = QFile::encodeName(env.path("data")) + "/caf\xe9.txt";
        const int descriptor = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(descriptor >= 0);
        ::close(descriptor);
        const QString escaped = env.writeFile(QStringLiteral("data/\x1b[2Jwipe.txt"), "x");
        const QString patterns =
            env.writeFile(QStringLiteral("Exclude.Txt"), "# scratch files\r\n\r\n*.tmp\r\n");
        store.WriteFileOfExclusions(patterns);
        store.WriteExcludeCacheFolders(true);
        store.WriteExcludeFilesLargerThanMB(1);
        store.WriteBackUpSubFolders(true);
        QFile folders(store.ReadFileOfDirectories());
        QVERIFY(folders.open(QIODevice::WriteOnly));
        folders.write(QFileInfo(report).absolutePath().toUtf8() + "\r\n");
        folders.close();

        const Finished dry = runKestrel({QStringLiteral("--run"), QStringLiteral("--dry-run")});
        QVERIFY2(dry.exitCode == HeadlessRun::Succeeded, qPrintable(dry.out + dry.errors));
        const QStringList lines = dry.out.split(QLatin1Char('\n'));
        QVERIFY2(lines.contains("Would back up: " + report), qPrintable(dry.out));
        QVERIFY2(lines.contains("Would back up: " + QString(escaped).replace("\x1b", "\\x1B")),
                 qPrintable(dry.out));
        QVERIFY2(dry.out.contains("Cannot back up: "), qPrintable(dry.out));
        QVERIFY(lines.contains("Left out: " + draft + " (Exclude.Txt line 3: *.tmp)"));
        QVERIFY(lines.contains("Left out: " + QFileInfo(tag).absolutePath() +
                               "/ (cache folder (CACHEDIR.TAG))"));
        QVERIFY(lines.contains("Left out: " + big + " (larger than 1 MB)"));
        QVERIFY(lines.contains("2 files would be backed up."));
        QVERIFY(lines.contains("2 files and 1 folder were left out by the exclusions."));
        QVERIFY(!QFileInfo::exists(store.ReadLogFile()));
        QVERIFY(!QFileInfo::exists(store.ReadFileOfFiles()));
        QVERIFY(!QFileInfo::exists(store.ReadZipDirectory()));
    }

    // kestreldrive --run copies into the backup folder; a missing folder fails the run.
    void driveRunCopiesIntoTheBackUpFolder()
    {
        TestEnvironment env(QStringLiteral("KestrelDrive"));
        const QString stick = env.path(QStringLiteral("media/USB.Stick"));
        QDir().mkpath(stick);
        TQuayRegistryObject().WriteUserBackUpEmailAddress(stick);
        TQuayRegistryObject().WriteOverWriteFiles(true);
        const QString file = env.writeFile(QStringLiteral("data/report.txt"), "quarterly figures");
        listFile(file);

        const QString drive = QStringLiteral("kestreldrive");
        const Finished copied = runKestrel({QStringLiteral("--run")}, drive);
        QVERIFY2(copied.exitCode == HeadlessRun::Succeeded, qPrintable(copied.out + copied.errors));
        QVERIFY(copied.out.contains(QStringLiteral("Backed up version of ") + file +
                                    QStringLiteral(" is superseded.")));
        QVERIFY(copied.out.contains(QStringLiteral("\n17 bytes of 17 bytes copied\n")));
        QFile copy(stick + file);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("quarterly figures"));

        QVERIFY(QDir(stick).removeRecursively());
        const Finished missing = runKestrel({QStringLiteral("--run")}, drive);
        QCOMPARE(missing.exitCode, int(HeadlessRun::Failed));
        QVERIFY(missing.out.contains(
            QStringLiteral("Could not back up as back up folder not available.")));
        QVERIFY(!QFileInfo::exists(stick));
    }

    void refusedMailFailsTheRun()
    {
        TestEnvironment env;
        ScriptedSmtpServer server;
        server.script(".", "554 refused\r\n");
        pointAt(server.port());
        listFile(env.writeFile(QStringLiteral("data/a.txt"), "refused"));

        // Nobody watches a run without a window: its end goes to the desktop, here to
        // the fake's log.
        const QString platformLog = env.path(QStringLiteral("platform.log"));
        qputenv("KESTREL_FAKE_PLATFORM_LOG", QFile::encodeName(platformLog));
        const Finished run = runKestrel({QStringLiteral("--run")});
        qunsetenv("KESTREL_FAKE_PLATFORM_LOG");
        QCOMPARE(run.exitCode, int(HeadlessRun::Failed));
        QVERIFY(run.out.contains(QStringLiteral("Could not send back up file.")));
        // The server answered: no fault of the connection.
        const QString ending =
            QStringLiteral("Back up sequence failed to complete.  The SMTP server "
                           "refused a message; the lines above say why.");
        QVERIFY(run.out.contains(ending));
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QFile log(platformLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList notices = QString::fromUtf8(log.readAll())
                                        .split(QLatin1Char('\n'))
                                        .filter(QRegularExpression("^notify "));
        QCOMPARE(notices, QStringList{"notify \"KestrelSolo: back up failed\" \"" + ending + "\""});
    }

    // A server that takes OAuth2 access tokens only: the user's command gives the token
    // before each log-in; a refused token or a failing command ends the run with the
    // reason, and no token reaches the output.
    void runSignsInWithTheTokenCommand()
    {
        TestEnvironment env;
        const QString mail = env.path(QStringLiteral("mail/"));
        QDir().mkpath(mail);
        SmtpSink::Options options;
        options.bearerToken = QStringLiteral("tok-42");
        QVERIFY(TestCertificate::make(env.root(), QStringLiteral("sink"),
                                      TestCertificate::Kind::ForLoopback, &options.certificateFile,
                                      &options.keyFile));
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), mail, options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        pointAt(sink.port());
        const TQuayRegistryObject store;
        store.WriteTrustedServerCertificate(
            ServerCertificateTrust::entry(QStringLiteral("127.0.0.1"), sink.port(),
                                          QSslCertificate::fromPath(options.certificateFile)
                                              .value(0)
                                              .digest(QCryptographicHash::Sha256)));
        store.WriteSMTPAuthMethod(2);
        listFile(env.writeFile(QStringLiteral("data/report.txt"), "figures"));

        const struct
        {
            QString command;
            QString line;
        } runs[] = {
            {QStringLiteral("printf tok-41"),
             QStringLiteral("535: 5.7.8 token *** refused (to the access token). The server "
                            "refused the access token")},
            {QStringLiteral("sh -c \"echo expired >&2; exit 3\""),
             QStringLiteral("The token command for the SMTP server exited with status 3: "
                            "expired.")},
            {QStringLiteral("printf tok-42"), QString()},
        };
        for (const auto& run : runs) {
            store.WriteSMTPTokenCommand(run.command);
            const Finished finished = runKestrel({QStringLiteral("--run")});
            QVERIFY2(!(finished.out + finished.errors).contains(QStringLiteral("tok-4")),
                     qPrintable(finished.out));
            if (!run.line.isEmpty()) {
                QCOMPARE(finished.exitCode, int(HeadlessRun::Failed));
                QVERIFY2(finished.out.contains(run.line), qPrintable(finished.out));
                QVERIFY(!QFile::exists(sink.messagePath(1)));
                continue;
            }
            QVERIFY2(finished.exitCode == HeadlessRun::Succeeded,
                     qPrintable(finished.out + finished.errors));
            QFile envelope(sink.envelopePath(1));
            QVERIFY(envelope.open(QIODevice::ReadOnly));
            QVERIFY(envelope.readAll().contains("\"authenticated\": true"));
        }
    }

    // The program's own OAuth2 sign-in: --sign-in smtp with a device code against the
    // scripted authorization server, then runs whose access tokens the SMTP server
    // checks there. Without a usable sign-in the run fails with the line that names
    // --sign-in, and never starts a sign-in itself. No token reaches the output.
    void runSignsInWithOAuth2()
    {
        TestEnvironment env;
        ScriptedOAuthServer authorization(QStringLiteral(KESTREL_TEST_SCRIPTS));
        QVERIFY2(authorization.port() != 0, qPrintable(authorization.errorText()));
        authorization.control({{"interval", 1}, {"device_answers", QJsonArray{"slow_down"}}});
        const QString mail = env.path(QStringLiteral("mail/"));
        QDir().mkpath(mail);
        SmtpSink::Options options;
        options.introspectUrl = authorization.url(QStringLiteral("/introspect")).toString();
        QVERIFY(TestCertificate::make(env.root(), QStringLiteral("sink"),
                                      TestCertificate::Kind::ForLoopback, &options.certificateFile,
                                      &options.keyFile));
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), mail, options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        pointAt(sink.port());
        const TQuayRegistryObject store;
        store.WriteTrustedServerCertificate(
            ServerCertificateTrust::entry(QStringLiteral("127.0.0.1"), sink.port(),
                                          QSslCertificate::fromPath(options.certificateFile)
                                              .value(0)
                                              .digest(QCryptographicHash::Sha256)));
        store.WriteSMTPAuthMethod(1);
        authorization.storeAsClient();
        listFile(env.writeFile(QStringLiteral("data/report.txt"), "figures"));
        const auto noToken = [](const Finished& finished) {
            const QString all = finished.out + finished.errors;
            return !all.contains(QLatin1String("at-")) && !all.contains(QLatin1String("rt-"));
        };
        const QString signInLine =
            QStringLiteral("Sign in again: run \"kestrelsolo --sign-in smtp\"");

        const Finished notSignedIn = runKestrel({QStringLiteral("--run")});
        QCOMPARE(notSignedIn.exitCode, int(HeadlessRun::Failed));
        QVERIFY2(notSignedIn.out.contains(signInLine), qPrintable(notSignedIn.out));
        QVERIFY(!notSignedIn.out.contains(QLatin1String("http")));

        const Finished signIn = runKestrel({QStringLiteral("--sign-in"), QStringLiteral("smtp")});
        QVERIFY2(signIn.exitCode == 0, qPrintable(signIn.out + signIn.errors));
        QVERIFY2(signIn.out.contains(QStringLiteral("open %1 and enter the code WDJB-MJHT")
                                         .arg(authorization.url("/activate").toString())),
                 qPrintable(signIn.out));
        QVERIFY(noToken(signIn));
        QVERIFY(!store.ReadSMTPRefreshToken().isEmpty());

        const Finished sent = runKestrel({QStringLiteral("--run")});
        QVERIFY2(sent.exitCode == HeadlessRun::Succeeded, qPrintable(sent.out + sent.errors));
        QVERIFY(noToken(sent));
        QFile envelope(sink.envelopePath(1));
        QVERIFY(envelope.open(QIODevice::ReadOnly));
        QVERIFY(envelope.readAll().contains("\"authenticated\": true"));

        const auto messages = [&mail] {
            return QDir(mail).entryList({QStringLiteral("*.eml")}, QDir::Files).size();
        };
        const qsizetype sentBefore = messages();
        authorization.control({{"revoke_all", true}});
        listFile(env.writeFile(QStringLiteral("data/later.txt"), "more figures"));
        const Finished revoked = runKestrel({QStringLiteral("--run")});
        QCOMPARE(revoked.exitCode, int(HeadlessRun::Failed));
        QVERIFY2(revoked.out.contains(QLatin1String("has lapsed or was withdrawn")) &&
                     revoked.out.contains(signInLine),
                 qPrintable(revoked.out));
        QVERIFY(noToken(revoked));
        QCOMPARE(messages(), sentBefore);
    }

    // A certificate the system does not trust stops the run without a question, and
    // the run names its fingerprint; given to --trust-certificate, alone or with
    // --run, it lets the runs through. A changed certificate stops them again.
    void untrustedCertificateIsTrustedFromTheCommandLine()
    {
        TestEnvironment env;
        const QString mail = env.path(QStringLiteral("mail/"));
        QDir().mkpath(mail);
        SmtpSink::Options options;
        options.user = QStringLiteral("ann");
        options.password = QStringLiteral("pw");
        QVERIFY(TestCertificate::make(env.root(), QStringLiteral("first"),
                                      TestCertificate::Kind::ForLoopback, &options.certificateFile,
                                      &options.keyFile));
        const auto digestOf = [](const QString& file) {
            return QSslCertificate::fromPath(file).value(0).digest(QCryptographicHash::Sha256);
        };
        const QByteArray first = digestOf(options.certificateFile);
        const QString fingerprint = CertificateFingerprint::text(first);

        const Finished nowhere = runKestrel({QStringLiteral("--trust-certificate"), fingerprint});
        QCOMPARE(nowhere.exitCode, int(HeadlessRun::NotStarted));
        QVERIFY2(nowhere.errors.contains(QStringLiteral("No SMTP server is set")),
                 qPrintable(nowhere.errors));

        auto sink = std::make_unique<SmtpSink>(QStringLiteral(KESTREL_TEST_SCRIPTS), mail, options);
        QVERIFY2(sink->port() != 0, qPrintable(sink->errorText()));
        pointAt(sink->port());
        listFile(env.writeFile(QStringLiteral("data/report.txt"), "figures"));
        const TQuayRegistryObject store;

        const Finished refused = runKestrel({QStringLiteral("--run")});
        QCOMPARE(refused.exitCode, int(HeadlessRun::Failed));
        QVERIFY(
            refused.out.contains(QStringLiteral("Could not establish connection with SMTP server.\n"
                                                "The connection could not be made secure (")));
        QVERIFY2(refused.out.contains(QStringLiteral("the certificate is signed by itself. Its "
                                                     "SHA-256 fingerprint is ") +
                                      fingerprint + QLatin1Char('.')),
                 qPrintable(refused.out));
        QVERIFY(
            refused.out.contains(QStringLiteral("kestrelsolo --trust-certificate ") + fingerprint));
        QVERIFY2(!refused.errors.contains(QStringLiteral("[answered No]")),
                 qPrintable(refused.errors));
        QVERIFY(!QFile::exists(sink->messagePath(1)));
        QVERIFY(store.ReadTrustedServerCertificate().isEmpty());

        const Finished trusted = runKestrel({QStringLiteral("--trust-certificate"), fingerprint});
        QCOMPARE(trusted.exitCode, int(HeadlessRun::Succeeded));
        QVERIFY2(
            trusted.out.contains(QStringLiteral("is trusted for the SMTP server 127.0.0.1 port %1")
                                     .arg(sink->port())),
            qPrintable(trusted.out));
        QCOMPARE(store.ReadTrustedServerCertificate(),
                 ServerCertificateTrust::entry(QStringLiteral("127.0.0.1"), sink->port(), first));
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 0);

        const Finished run = runKestrel({QStringLiteral("--run")});
        QVERIFY2(run.exitCode == HeadlessRun::Succeeded, qPrintable(run.out + run.errors));
        QVERIFY(QFile::exists(sink->messagePath(2)));

        // The server renews its certificate.
        sink.reset();
        QVERIFY(TestCertificate::make(env.root(), QStringLiteral("second"),
                                      TestCertificate::Kind::ForLoopback, &options.certificateFile,
                                      &options.keyFile));
        const QByteArray second = digestOf(options.certificateFile);
        const QString renewedMail = env.path(QStringLiteral("renewed/"));
        QDir().mkpath(renewedMail);
        sink =
            std::make_unique<SmtpSink>(QStringLiteral(KESTREL_TEST_SCRIPTS), renewedMail, options);
        QVERIFY2(sink->port() != 0, qPrintable(sink->errorText()));
        pointAt(sink->port());
        ServerCertificateTrust::trust(QStringLiteral("127.0.0.1"), sink->port(), first);

        const Finished changed = runKestrel({QStringLiteral("--run")});
        QCOMPARE(changed.exitCode, int(HeadlessRun::Failed));
        QVERIFY2(
            changed.out.contains(
                QStringLiteral("The server's certificate has changed since it was trusted. Its "
                               "SHA-256 fingerprint is ") +
                CertificateFingerprint::text(second)),
            qPrintable(changed.out));
        QVERIFY(!QFile::exists(sink->messagePath(1)));

        const Finished both =
            runKestrel({QStringLiteral("--run"), QStringLiteral("--trust-certificate"),
                        CertificateFingerprint::hex(second)});
        QVERIFY2(both.exitCode == HeadlessRun::Succeeded, qPrintable(both.out + both.errors));
        QVERIFY(QFile::exists(sink->messagePath(1))); // the log: the file went out before
        QCOMPARE(store.ReadTrustedServerCertificate(),
                 ServerCertificateTrust::entry(QStringLiteral("127.0.0.1"), sink->port(), second));
    }

    // The SMTP password where it is kept: only in a real keyring of the test's own
    // (which also takes the zip password over from the database), or in the database
    // where no keyring answers or the keyring is locked. Each run says once where the
    // passwords are, and never shows one.
    void runFindsThePasswordWhereItIsKept_data()
    {
        QTest::addColumn<QString>("keyring");
        QTest::addColumn<QString>("line");
        QTest::newRow("keyring") << "open" << SecretKeeping::keyringText();
        QTest::newRow("locked") << "locked" << SecretKeeping::lockedText();
        QTest::newRow("none") << "none" << SecretKeeping::noKeyringText();
    }

    void runFindsThePasswordWhereItIsKept()
    {
        QFETCH(QString, keyring);
        QFETCH(QString, line);
        TestEnvironment env;
        std::unique_ptr<PrivateKeyring> daemon;
        QByteArray bus = "unix:path=/nonexistent/kestrel-test-session-bus";
        if (keyring != QLatin1String("none")) {
            daemon = std::make_unique<PrivateKeyring>();
            if (daemon->address().isEmpty())
                QSKIP(qPrintable(QStringLiteral("no gnome-keyring-daemon of the test's own: ") +
                                 daemon->errorText()));
            bus = daemon->address().toUtf8();
        }
        SmtpSink::Options options;
        options.user = QStringLiteral("ann");
        options.password = QStringLiteral("kept pw 7");
        QVERIFY(TestCertificate::make(env.root(), QStringLiteral("keyring"),
                                      TestCertificate::Kind::ForLoopback, &options.certificateFile,
                                      &options.keyFile));
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("mail/")),
                      options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        storeLoopbackMailSettings(sink.port(), {options.user, options.password,
                                                QStringLiteral("backup@example.org"),
                                                QLatin1String(ZipPassword)});
        ServerCertificateTrust::trust(QStringLiteral("127.0.0.1"), sink.port(),
                                      QSslCertificate::fromPath(options.certificateFile)
                                          .value(0)
                                          .digest(QCryptographicHash::Sha256));
        listFile(env.writeFile(QStringLiteral("data/report.txt"), "figures"));
        const SecretStore::Item smtp =
            SecretKeeping::itemOf(QStringLiteral("UserSMPTServerPassword"));
        if (keyring == QLatin1String("open")) {
            QVERIFY(daemon->store(smtp.label, smtp.key, options.password));
            QVERIFY(SettingsDatabase::remove(TQuayRegistryObject::keyPath(), smtp.key));
        } else if (keyring == QLatin1String("locked")) {
            QVERIFY(daemon->lock());
        }

        const QByteArray previousBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        qputenv("KESTREL_KEYRING", "secret-service");
        const Finished run = runKestrel({QStringLiteral("--run")});
        qunsetenv("KESTREL_KEYRING");
        qputenv("DBUS_SESSION_BUS_ADDRESS", previousBus);

        QVERIFY2(run.exitCode == HeadlessRun::Succeeded, qPrintable(run.out + run.errors));
        QVERIFY(QFile::exists(sink.messagePath(1)));
        QCOMPARE(run.errors.count(line), 1);
        QVERIFY(!(run.out + run.errors).contains(options.password));
        QVERIFY(!(run.out + run.errors).contains(QLatin1String(ZipPassword)));
        const bool open = keyring == QLatin1String("open");
        for (const QString& name : {smtp.key, QStringLiteral("UserZipPassword")})
            QVERIFY2(bool(SettingsDatabase::read(TQuayRegistryObject::keyPath(), name)) != open,
                     qPrintable(name));
        if (open) {
            const SecretStore::Item zip = SecretKeeping::itemOf(QStringLiteral("UserZipPassword"));
            QVERIFY(daemon->lookup(zip.label, zip.key) == QLatin1String(ZipPassword));
        }
    }

    // --schedule goes through the same timer service as the window's check box.
    void scheduleWithoutTheWindow()
    {
        TestEnvironment env;
        const QString platformLog = env.path(QStringLiteral("platform.log"));
        qputenv("KESTREL_FAKE_PLATFORM_LOG", QFile::encodeName(platformLog));
        const Finished on = runKestrel({"--schedule", "weekly:Wed,Mon@07:30"});
        const Finished off = runKestrel({"--schedule", "off"});
        qunsetenv("KESTREL_FAKE_PLATFORM_LOG");
        QCOMPARE(on.exitCode, 0);
        QCOMPARE(on.out, "Next back up: 07/01/2030 07:30:00\n");
        QCOMPARE(off.exitCode, 0);
        QFile log(platformLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(log.readAll()).split('\n').filter(QRegularExpression("^schedule ")),
            QStringList({"schedule apply weekly:Mon,Wed@07:30", "schedule remove"}));
        QVERIFY(!TQuayRegistryObject().ReadScheduledBackUp());
        QCOMPARE(TQuayRegistryObject().ReadBackUpScheduleChoice(), "weekly:Mon,Wed@07:30");
    }

    void refusedCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("unknown option") << QStringList{"--run", "--bogus"} << "bogus";
        QTest::newRow("argument") << QStringList{"--run", "extra"} << "extra";
        QTest::newRow("full alone") << QStringList{"--full"} << "--run";
        QTest::newRow("dry run alone") << QStringList{"--dry-run"} << "--run";
        QTest::newRow("no shut-down alone") << QStringList{"--no-shut-down"} << "--run";
        QTest::newRow("short fingerprint")
            << QStringList{"--trust-certificate", "AB:CD:EF"} << "SHA-256";
        QTest::newRow("full without run")
            << QStringList{"--full", "--trust-certificate", QString(64, QLatin1Char('a'))}
            << "--run";
    }

    void refusedCommandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        TestEnvironment env;
        const Finished finished = runKestrel(arguments);
        QCOMPARE(finished.exitCode, int(HeadlessRun::NotStarted));
        QVERIFY2(finished.errors.contains(named), qPrintable(finished.errors));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("home/.local/share/Orrery"))));
    }

    // One edition runs one sequence at a time: a run from the command line and the
    // window's both stay out while another holds the lock, and say so.
    void heldLockKeepsSequencesFromStarting()
    {
        TestEnvironment env;
        TQuayRegistryObject().WriteWizzardRun(true);
        QLockFile held(SequenceLock::path());
        QVERIFY(held.tryLock(0));
        const QString refusal =
            QStringLiteral("Another back up sequence of KestrelSolo is running");

        const Finished run = runKestrel({QStringLiteral("--run")});
        QCOMPARE(run.exitCode, int(HeadlessRun::NotStarted));
        QVERIFY2(run.out.contains(refusal), qPrintable(run.out + run.errors));

        TfrmKestrelClientMain window;
        window.summaryPage->btnRunBackUp->click();
        QVERIFY(window.summaryPage->statusText().contains(refusal));
        QVERIFY(window.summaryPage->btnRunBackUp->isEnabled());
        QVERIFY(TQuayRegistryObject().ReadSequenceFile().isEmpty());
    }

    void unusableSettingsKeepTheRunFromStarting()
    {
        TestEnvironment env;
        // A file where the settings folder should be: no one, root included, opens
        // the database below it.
        const QString folder = QFileInfo(SettingsDatabase::defaultPath()).absolutePath();
        QVERIFY(QDir(folder).removeRecursively());
        env.writeFile(folder.mid(env.root().size() + 1), "not a folder");

        const Finished run = runKestrel({QStringLiteral("--run")});
        QCOMPARE(run.exitCode, int(HeadlessRun::NotStarted));
        QVERIFY2(run.errors.contains(SettingsDatabase::defaultPath() +
                                     QStringLiteral(" cannot be opened: Not a directory")),
                 qPrintable(run.errors));
    }

    // What the end asks for after the sequence: the power-off after the countdown, at
    // once after a success and after the 30 s delay after a failure.
    void shutDownAfterTheRun_data()
    {
        QTest::addColumn<bool>("shutDown");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("waits");
        QTest::addColumn<bool>("noShutDown");
        QTest::newRow("success") << true << false << 0 << 1 << false;
        QTest::newRow("failure") << true << true << 1 << 2 << false;
        QTest::newRow("not asked for") << false << false << 0 << 0 << false;
        // A scheduled run: nobody may be there to cancel the countdown.
        QTest::newRow("--no-shut-down") << true << false << 0 << 0 << true;
    }

    void shutDownAfterTheRun()
    {
        QFETCH(bool, shutDown);
        QFETCH(bool, refused);
        QFETCH(int, exitCode);
        QFETCH(int, waits);
        QFETCH(bool, noShutDown);
        TestEnvironment env;
        ScriptedSmtpServer server;
        if (refused)
            server.script(".", "554 refused\r\n");
        pointAt(server.port());
        TQuayRegistryObject().WriteShutDown(shutDown);

        QString out;
        QTextStream stream(&out);
        HeadlessRun run(stream, false);
        run.setNoShutDown(noShutDown);
        QCOMPARE(run.exec(), exitCode);
        const bool poweredOff = shutDown && !noShutDown;
        QCOMPARE(int(env.clock.waits().count(30000)), waits);
        QCOMPARE(env.powerOff.calls(), poweredOff ? QStringList{"power off"} : QStringList{});
        QCOMPARE(out.contains(QStringLiteral("Computer will be shut down in 30 seconds.")),
                 poweredOff);
        QVERIFY(env.prompt.unexpected().isEmpty());
    }
};

QTEST_MAIN(TestHeadlessRun)
#include "tst_headlessrun.moc"
