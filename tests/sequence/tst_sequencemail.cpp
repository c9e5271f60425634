#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/QuayRegistryObject.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/LoopbackMailSettings.h"
#include "support/MailedArchive.h"
#include "support/RecordingSequenceWindow.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "transport/WrenSMPTObject.h"

#include <QDir>
#include <QSslCertificate>
#include <QTest>

// A whole sequence through a real SMTP server (aiosmtpd) with STARTTLS and login:
// the session lives on the sequence's worker thread, and what arrives is read back
// with Python's email package and unpacked with 7-Zip.
class TestSequenceMail : public QObject
{
    Q_OBJECT

private:
    static constexpr auto ZipPassword = "Zip pass w0rd";

    static MailedArchive unpack(const TestEnvironment& env, const QString& messagePath, int number)
    {
        return MailedArchive::read(messagePath, env.path(QStringLiteral("mailed-%1").arg(number)),
                                   QString::fromLatin1(ZipPassword));
    }

private Q_SLOTS:
    void sequenceThroughARealServer()
    {
        TestEnvironment env;
        SmtpSink::Options options;
        QVERIFY(SmtpSink::makeCertificate(env.root(), &options.certificateFile, &options.keyFile));
        options.user = QStringLiteral("jo");
        options.password = QStringLiteral("Secret pass");
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")),
                      options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));

        storeLoopbackMailSettings(sink.port(), {options.user, options.password,
                                                QStringLiteral("backups@example.org"),
                                                QString::fromLatin1(ZipPassword)});
        const TQuayRegistryObject store;

        QByteArray large;
        for (int i = 0; i < 20000; ++i)
            large += "Line " + QByteArray::number(i) + " of a larger text file.\n";
        const QString report = env.writeFile(QStringLiteral("data/report.txt"), large);
        const QString notes =
            env.writeFile(QStringLiteral("data/folder/notes \u00e4.md"), ".starts with a dot\n");
        // Left out by a pattern, a cache tag or their size: never packed, sent or logged.
        env.writeFile(QStringLiteral("data/folder/draft.tmp"), "scratch\n");
        env.writeFile(QStringLiteral("data/folder/cache/CACHEDIR.TAG"),
                      "Signature: 8a477f597d28d172789f06886806bc55\n");
        env.writeFile(QStringLiteral("data/folder/cache/blob.bin"), "made again\n");
        env.writeFile(QStringLiteral("data/folder/big.bin"), QByteArray(1024 * 1024 + 1, 'x'));
        store.WriteExcludeCacheFolders(true);
        store.WriteExcludeFilesLargerThanMB(1);
        const QString picked = env.writeFile(QStringLiteral("data/picked.tmp"), "scratch\n");
        QFile exclusions(store.ReadFileOfExclusions());
        QVERIFY(exclusions.open(QIODevice::WriteOnly));
        exclusions.write("# scratch files\r\n*.tmp\r\n");
        exclusions.close();
        QFile files(store.ReadFileOfFiles());
        QVERIFY(files.open(QIODevice::WriteOnly));
        files.write(report.toUtf8() + "\r\n" + picked.toUtf8() + "\r\n");
        files.close();
        QFile folders(store.ReadFileOfDirectories());
        QVERIFY(folders.open(QIODevice::WriteOnly));
        folders.write(QFileInfo(notes).absolutePath().toUtf8() + "\r\n");
        folders.close();

        RecordingSequenceWindow window;
        window.subFolders = true;
        // The count shown while the files are walked.
        QString counted;
        window.onStatusLine = [&window, &counted](const QString& line) {
            if (line == QStringLiteral("Processing files from files list..."))
                counted = window.numberOfFiles;
        };
        SequenceState state;
        SequenceCompletion completion(window, state);
        BackUpSequence sequence(window, completion);
        sequence.setSessionSetup([&options](TWrenSMPTObject& sender) {
            sender.session().addCaCertificates(QSslCertificate::fromPath(options.certificateFile));
            sender.session().setReplyTimeoutMs(20000);
        });
        sequence.RunBackUpSequence();
        QVERIFY2(store.ReadBackUpSequenceSuccess(), qPrintable(window.history.join('\n')));

        const MailedArchive first = unpack(env, sink.messagePath(1), 1);
        QVERIFY(first.subject.endsWith(QLatin1Char('#') + report));
        QCOMPARE(first.content, large);
        const MailedArchive second = unpack(env, sink.messagePath(2), 2);
        QVERIFY(second.subject.endsWith(QLatin1Char('#') + notes));
        QCOMPARE(second.content, QByteArray(".starts with a dot\n"));
        // The log goes last and holds the two records.
        const MailedArchive log = unpack(env, sink.messagePath(3), 3);
        QVERIFY(log.subject.endsWith(QLatin1Char('#') + store.ReadLogFile()));
        QCOMPARE(log.content.count("\r\n"), 2);
        QVERIFY(!QFile::exists(sink.messagePath(4)));
        QVERIFY(!log.content.contains(".tmp"));
        QVERIFY(window.history.contains("3 files and 1 folder were left out by the exclusions."));
        QVERIFY(!window.history.join('\n').contains(".tmp"));
        QVERIFY(!window.history.join('\n').contains(".bin"));
        QCOMPARE(counted, QStringLiteral("2"));
    }
};

QTEST_GUILESS_MAIN(TestSequenceMail)
#include "tst_sequencemail.moc"
