#include "core/CertificateFingerprint.h"
#include "core/QuayRegistryObject.h"
#include "support/DovecotServer.h"
#include "support/PostfixServer.h"
#include "support/ProgramRun.h"
#include "support/TestCertificate.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTest>

// The whole promise, the way a user meets it: the built program backs a tree up
// through a stock Postfix (submission with STARTTLS, log-in through dovecot, a size
// limit that counts Postfix's own headers, parallel delivery over LMTP into dovecot),
// then lists, restores and checks it back over IMAP.
class TestMailRoundTrip : public QObject
{
    Q_OBJECT

    static constexpr qint64 SizeLimit = 200000;

    struct TreeFile
    {
        QString path;
        QByteArray content;
        QDateTime modified;
    };

    static QByteArray noise(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        return bytes;
    }

    static QList<TreeFile> makeTree(const TestEnvironment& env)
    {
        const QDateTime oddSecond(QDate(2026, 6, 7), QTime(8, 9, 11));
        const QList<TreeFile> files{
            {"tree/small.txt", "small\n", oddSecond},
            {"tree/name with spaces.txt", "spaces\n", oddSecond.addSecs(-3600)},
            {"tree/semi;colon.txt", "semicolon\n", oddSecond.addDays(-1)},
            {QString::fromUtf8("tree/Übersicht – 概要.txt"), "non-ASCII\n", oddSecond},
            {"tree/old/1971.txt", "from 1971\n", QDateTime(QDate(1971, 3, 4), QTime(5, 6, 7))},
            // Random bytes do not pack: about three times the limit, so three parts or more.
            {"tree/big.bin", noise(3 * SizeLimit), oddSecond.addSecs(1)},
        };
        QList<TreeFile> written;
        for (const TreeFile& file : files) {
            const QString path = env.writeFile(file.path, file.content);
            QFile handle(path);
            if (handle.open(QIODevice::ReadWrite))
                handle.setFileTime(file.modified, QFileDevice::FileModificationTime);
            written.append({path, file.content, file.modified});
        }
        return written;
    }

    // QTest cuts long messages: a run that failed is printed whole first.
    static bool succeeded(const ProgramRun& run, const QString& serverLog = QString())
    {
        if (run.exitCode != 0)
            qWarning().noquote() << "exit" << run.exitCode << '\n'
                                 << run.out << run.errors << serverLog;
        return run.exitCode == 0;
    }

private Q_SLOTS:
    void backUpTwiceRestoreAndVerify()
    {
        if (!PostfixServer::available() || !DovecotServer::available()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("Postfix and dovecot are needed, run as root (scripts/install-deps.sh)");
            QSKIP("Postfix or dovecot missing, or not root");
        }
        TestEnvironment env;
        QString certificate, key;
        QDir().mkpath(env.path("tls"));
        QVERIFY(TestCertificate::make(env.path("tls"), "mail", TestCertificate::Kind::ForLoopback,
                                      &certificate, &key));
        DovecotServer::Options imapOptions;
        imapOptions.forMailServer = true;
        DovecotServer dovecot(env.path("dovecot"), imapOptions);
        QVERIFY2(dovecot.port() != 0, qPrintable(dovecot.errorText()));
        PostfixServer::Options smtpOptions;
        smtpOptions.lmtpPort = dovecot.lmtpPort();
        smtpOptions.authPort = dovecot.authPort();
        smtpOptions.certificateFile = certificate;
        smtpOptions.keyFile = key;
        smtpOptions.sizeLimit = SizeLimit;
        PostfixServer postfix(env.path("postfix"), smtpOptions);
        QVERIFY2(postfix.port() != 0, qPrintable(postfix.errorText()));

        const TQuayRegistryObject store;
        store.WriteUserSMPTName("localhost");
        store.WriteUserConnectionPort(postfix.port());
        store.WriteUserSMPTServerName(dovecot.options().user);
        store.WriteUserSMPTServerPassword(dovecot.options().password);
        store.WriteUserBackUpEmailAddress(dovecot.options().user + "@example.test");
        store.WriteUserZipPassword("Round;trip 7");
        dovecot.storeReaderSettings();
        const QList<TreeFile> tree = makeTree(env);
        QFile list(store.ReadFileOfFiles());
        QVERIFY(list.open(QIODevice::WriteOnly));
        for (const TreeFile& file : tree)
            list.write(file.path.toUtf8() + "\r\n");
        list.close();

        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificate);
        QVERIFY(!certificates.isEmpty());
        const QString fingerprint = CertificateFingerprint::hex(
            certificates.constFirst().digest(QCryptographicHash::Sha256));
        const ProgramRun first = ProgramRun::run({"--run", "--trust-certificate", fingerprint});
        QVERIFY(succeeded(first, postfix.logText()));
        const ProgramRun second = ProgramRun::run({"--run", "--full"});
        QVERIFY(succeeded(second, postfix.logText()));
        for (const ProgramRun& run : {first, second})
            QVERIFY(!(run.out + run.errors).contains(dovecot.options().password));

        // Postfix hands the parts to LMTP side by side, so they arrive in any order.
        QTRY_VERIFY_WITH_TIMEOUT(postfix.queueEmpty(), 60000);
        QVERIFY2(!postfix.logText().contains("status=bounced"), qPrintable(postfix.logText()));

        const ProgramRun listed = ProgramRun::run({"--list"});
        QVERIFY(succeeded(listed));
        QVERIFY2(!listed.out.contains("incomplete"), qPrintable(listed.out));
        for (const TreeFile& file : tree)
            QVERIFY2(listed.out.count(file.path) == 2, qPrintable(file.path + '\n' + listed.out));

        const QString target = env.path("restored");
        const ProgramRun restored =
            ProgramRun::run({"--restore", env.path("tree/*"), "--to", target});
        QVERIFY(succeeded(restored));
        for (const TreeFile& file : tree) {
            QFile copy(target + file.path);
            QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(copy.fileName()));
            QVERIFY2(copy.readAll() == file.content, qPrintable(file.path));
            QCOMPARE(QFileInfo(copy).lastModified(), file.modified);
        }

        const ProgramRun verified = ProgramRun::run({"--verify", "20"});
        QVERIFY(succeeded(verified));
        // A lost tree restored where it was is not due again: the times came back exact.
        QVERIFY(QDir(env.path("tree")).removeRecursively());
        const ProgramRun inPlace = ProgramRun::run({"--restore", env.path("tree/*"), "--to", "/"});
        QVERIFY(succeeded(inPlace));
        const ProgramRun incremental = ProgramRun::run({"--run"});
        QVERIFY(succeeded(incremental));
        QVERIFY2(!incremental.out.contains("superseded"), qPrintable(incremental.out));
        QCOMPARE(incremental.out.count("is current"), tree.size());
    }
};

QTEST_GUILESS_MAIN(TestMailRoundTrip)
#include "tst_mailroundtrip.moc"
