#include "sequence/SequenceTestFixture.h"
#include "support/LoopbackMailSettings.h"
#include "support/MailedArchive.h"
#include "support/SmtpSink.h"

#include <QSet>
#include <QTest>

// Files whose save note is larger than the server takes go out as parts of their one
// archive, each in a message of its own. What arrives must join into the archive and
// open with 7-Zip, and a file counts as backed up only once every part was accepted.
class TestSequenceParts : public QObject
{
    Q_OBJECT

private:
    static constexpr const char* ZipPassword = "zip secret";

    static QList<MailedArchive> mailedTexts(const SequenceFixture& f, const QString& folder)
    {
        QList<MailedArchive> result;
        const QList<QByteArray> messages = f.server.messages();
        for (qsizetype i = 0; i < messages.size(); ++i)
            result << MailedArchive::readText(messages[i], f.env.path(folder + QString::number(i)),
                                              QLatin1String(ZipPassword));
        return result;
    }

    // Writes the parts under their names, as a user saves them from the mailbox, and
    // returns what 7-Zip unpacks from the first: the one file in the archive.
    static QByteArray unpackParts(const TestEnvironment& env, const QList<MailedArchive>& parts,
                                  const QString& folder, QByteArray* joined)
    {
        const QString partsFolder = env.path(folder + QStringLiteral("/parts/"));
        QDir().mkpath(partsFolder);
        for (const MailedArchive& part : parts) {
            QFile file(partsFolder + part.attachmentName);
            if (!file.open(QIODevice::WriteOnly) || file.write(part.attachment) < 0)
                return {};
            *joined += part.attachment;
        }
        const QString unpacked = env.path(folder + QStringLiteral("/unpacked/"));
        SmtpSink::run(QStringLiteral("7zz"), {QStringLiteral("x"), QStringLiteral("-y"),
                                              QStringLiteral("-p") + QLatin1String(ZipPassword),
                                              QStringLiteral("-o") + unpacked,
                                              partsFolder + parts.value(0).attachmentName});
        const QStringList files = QDir(unpacked).entryList(QDir::Files | QDir::Hidden);
        QFile file(files.size() == 1 ? unpacked + files.first() : QString());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QString partSubjectEnd(int part, int count)
    {
        return QStringLiteral(" (part %1 of %2)").arg(part).arg(count);
    }

private Q_SLOTS:
    // aiosmtpd announces its data size limit as SIZE; each part's message stays
    // within it, the parts arrive in order, join into the archive and open with 7-Zip.
    void partsThroughARealServer()
    {
        TestEnvironment env;
        constexpr qint64 limit = 40000;
        SmtpSink::Options options;
        options.sizeLimit = limit;
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")),
                      options);
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        LoopbackMailAccount account;
        account.zipPassword = QLatin1String(ZipPassword);
        storeLoopbackMailSettings(sink.port(), account);
        const TQuayRegistryObject store;
        const QByteArray content = SequenceFixture::noise(150000);
        const QString big = env.writeFile(QStringLiteral("data/big.bin"), content);
        SequenceFixture::writeList(store.ReadFileOfFiles(), {big});

        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion(window, state);
        BackUpSequence sequence(window, completion);
        sequence.setSessionSetup(
            [](TWrenSMPTObject& sender) { sender.session().setReplyTimeoutMs(20000); });
        sequence.RunBackUpSequence();
        QVERIFY2(store.ReadBackUpSequenceSuccess(), qPrintable(window.history.join('\n')));

        QList<MailedArchive> parts;
        for (int number = 1; QFile::exists(sink.messagePath(number)); ++number) {
            QVERIFY(QFileInfo(sink.messagePath(number)).size() <= limit);
            parts << MailedArchive::read(sink.messagePath(number),
                                         env.path(QStringLiteral("mailed-%1").arg(number)),
                                         QLatin1String(ZipPassword));
        }
        const MailedArchive log = parts.takeLast();
        QVERIFY(log.subject.endsWith(QLatin1Char('#') + store.ReadLogFile()));
        const int count = static_cast<int>(parts.size());
        QVERIFY(count >= 4);
        for (int part = 1; part <= count; ++part) {
            const MailedArchive& mailed = parts[part - 1];
            QVERIFY2(mailed.subject.endsWith(QLatin1Char('#') + big + partSubjectEnd(part, count)),
                     qPrintable(mailed.subject));
            QVERIFY(mailed.attachmentName.endsWith(
                QStringLiteral(".zip.%1").arg(part, 3, 10, QLatin1Char('0'))));
            QVERIFY(window.history.contains(
                QStringLiteral("Sending %1: part %2 of %3").arg(big).arg(part).arg(count)));
        }
        QByteArray joined;
        QCOMPARE(unpackParts(env, parts, QStringLiteral("joined"), &joined), content);
        QCOMPARE(SequenceFixture::loggedPaths(), QStringList{big});
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 1);
        // The byte limit counted the whole archive once.
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), static_cast<double>(joined.size()));
        QVERIFY(SequenceFixture::zipFolderEntries().isEmpty());
    }

    // The user's own largest message, with a server that announces none: the log goes
    // out in parts as well.
    void logInPartsUnderTheOwnLimit()
    {
        SequenceFixture f;
        const TQuayRegistryObject store;
        store.WriteUserZipPassword(QLatin1String(ZipPassword));
        constexpr qint64 limit = 6000;
        store.WriteMaxMessageBytes(limit);
        QByteArray logText;
        for (int i = 0; i < 300; ++i)
            logText += "/gone/" + SequenceFixture::noise(12).toHex() +
                       ";01/01/2020;1 KB;01/01/2020;" + QByteArray::number(i + 1) + "\r\n";
        QFile logFile(store.ReadLogFile());
        QVERIFY(logFile.open(QIODevice::WriteOnly));
        logFile.write(logText);
        logFile.close();

        f.sequence.RunBackUpSequence();
        QVERIFY2(store.ReadBackUpSequenceSuccess(), qPrintable(f.window.history.join('\n')));
        const QList<MailedArchive> parts = mailedTexts(f, QStringLiteral("log-"));
        QVERIFY2(parts.size() >= 2, qPrintable(f.subjects().join(u'\n')));
        for (const QByteArray& message : f.server.messages())
            QVERIFY(message.size() <= limit);
        const int count = static_cast<int>(parts.size());
        for (int part = 1; part <= count; ++part)
            QVERIFY(parts[part - 1].subject.endsWith(QLatin1Char('#') + store.ReadLogFile() +
                                                     partSubjectEnd(part, count)));
        QByteArray joined;
        QCOMPARE(unpackParts(f.env, parts, QStringLiteral("log"), &joined), logText);
    }

    // A part refused in the middle leaves the file due; the next run sends every part
    // again. A refusal for its size is tried once more in smaller parts; refused again,
    // the file is skipped and the run goes on. Another refusal ends the run.
    void refusedPartLeavesTheFileDue_data()
    {
        QTest::addColumn<QByteArray>("refusal");
        QTest::addColumn<int>("refusals");
        QTest::addColumn<bool>("runGoesOn");
        QTest::newRow("refused") << QByteArray("554 5.7.1 refused\r\n") << 1 << false;
        QTest::newRow("mailbox full is no matter of size")
            << QByteArray("552 5.2.2 mailbox full\r\n") << 1 << false;
        QTest::newRow("too large twice") << QByteArray("552 5.3.4 too big\r\n") << 2 << true;
    }

    void refusedPartLeavesTheFileDue()
    {
        QFETCH(QByteArray, refusal);
        QFETCH(int, refusals);
        QFETCH(bool, runGoesOn);
        SequenceFixture f;
        const QString big = f.dataFile(QStringLiteral("big.bin"), SequenceFixture::noise(12000));
        const QString small = f.dataFile(QStringLiteral("small.txt"), "fits");
        f.listFiles({big, small});
        const QByteArray ehlo = "250-scripted.test\r\n250 SIZE 5000\r\n";
        f.server.script("EHLO", ehlo);
        f.server.script(".", "250 OK\r\n");
        f.server.script(".", "250 OK\r\n");
        for (int i = 0; i < refusals; ++i)
            f.server.script(".", refusal);

        f.sequence.RunBackUpSequence();
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
        QVERIFY(f.window.history.contains(QStringLiteral("Could not send back up file.")));
        QCOMPARE(f.loggedPaths(), runGoesOn ? QStringList{small} : QStringList());
        QCOMPARE(f.window.history.filter(QStringLiteral(" smaller parts.")).size(), refusals - 1);
        // No line of the failed file tells of success.
        const QStringList afterBig = f.window.history.mid(
            f.window.history.lastIndexOf(QStringLiteral("Could not send back up file.")));
        QVERIFY(!afterBig.contains(QStringLiteral("Backed up version of ") + big +
                                   QStringLiteral(" is superseded.")));
        const qsizetype firstRun = f.server.messages().size();

        f.server.script("EHLO", ehlo);
        f.sequence.RunBackUpSequence();
        QVERIFY2(TQuayRegistryObject().ReadBackUpSequenceSuccess(),
                 qPrintable(f.window.history.join('\n')));
        const QStringList subjects = f.subjects().mid(firstRun);
        const int count = static_cast<int>(subjects.filter(big).size());
        QVERIFY(count >= 4);
        for (int part = 1; part <= count; ++part)
            QVERIFY(subjects[part - 1].endsWith(big + partSubjectEnd(part, count)));
        QVERIFY(f.loggedPaths().contains(big));
        QVERIFY(f.zipFolderEntries().isEmpty());
    }

    // A server that counts the headers it adds (20 KB here) against its limit refuses
    // a message filled to that limit: the file goes again, once, in parts half the size
    // of what was refused, as a set of its own. A server that adds even more refuses
    // those too; the file is then skipped with a line that says so.
    void serverAddingHeaders_data()
    {
        QTest::addColumn<int>("fileBytes");
        QTest::addColumn<qint64>("addedBytes");
        QTest::addColumn<bool>("sent");
        QTest::newRow("a part refused") << 150000 << qint64(20 * 1024) << true;
        QTest::newRow("the whole message refused") << 30000 << qint64(20 * 1024) << true;
        QTest::newRow("the smaller parts refused too") << 150000 << qint64(40 * 1024) << false;
    }

    void serverAddingHeaders()
    {
        QFETCH(int, fileBytes);
        QFETCH(qint64, addedBytes);
        QFETCH(bool, sent);
        SequenceFixture f;
        constexpr qint64 limit = 60000;
        f.server.setSizeLimit(limit, addedBytes);
        const QString big =
            f.dataFile(QStringLiteral("big.bin"), SequenceFixture::noise(fileBytes));
        const QString small = f.dataFile(QStringLiteral("small.txt"), "fits");
        f.listFiles({big, small});

        f.sequence.RunBackUpSequence();
        const QString history = f.window.history.join(u'\n');
        QCOMPARE(TQuayRegistryObject().ReadBackUpSequenceSuccess(), sent);
        QCOMPARE(f.loggedPaths(), sent ? (QStringList{big, small}) : QStringList{small});
        QCOMPARE(f.window.history.filter(QStringLiteral("Sending %1 again in ").arg(big)).size(),
                 1);
        if (!sent) {
            QVERIFY2(history.contains(QStringLiteral("refused even parts of at most")),
                     qPrintable(history));
            return;
        }
        QVERIFY(f.zipFolderEntries().isEmpty());
        // The refused attempt and the new one are two sets; the new one is whole.
        QList<MailedArchive> retry;
        QString retrySet;
        const QList<QByteArray> messages = f.server.messages();
        QSet<QString> sets;
        for (qsizetype i = 0; i < messages.size(); ++i) {
            const MailedArchive mailed = MailedArchive::readText(
                messages[i], f.env.path(QStringLiteral("m%1").arg(i)), QLatin1String());
            if (!mailed.subject.contains(big))
                continue;
            const QString set = mailed.parsed.value(QLatin1String("set")).toString();
            QCOMPARE(set.size(), 32);
            sets.insert(set);
            if (messages[i].size() + addedBytes <= limit) {
                if (retrySet.isEmpty())
                    retrySet = set;
                QCOMPARE(set, retrySet);
                retry << mailed;
            }
        }
        QCOMPARE(sets.size(), 2);
        QVERIFY(retry.size() >= 2);
        for (int part = 1; part <= retry.size(); ++part)
            QVERIFY(retry[part - 1].subject.endsWith(partSubjectEnd(part, int(retry.size()))));
    }

    // The user's Cancel takes effect between parts; the file stays due.
    void cancelBetweenPartsLeavesTheFileDue()
    {
        SequenceFixture f;
        const QString big = f.dataFile(QStringLiteral("big.bin"), SequenceFixture::noise(12000));
        f.listFiles({big});
        TQuayRegistryObject().WriteMaxMessageBytes(5000);
        f.window.onStatusLine = [&f](const QString& line) {
            if (line.endsWith(QLatin1String(": part 2 of ") + line.section(u' ', -1)))
                f.state.SequenceCancelled = true;
        };

        f.sequence.RunBackUpSequence();
        QCOMPARE(f.server.messages().size(), 2);
        QCOMPARE(f.loggedPaths(), QStringList());
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
    }
};

QTEST_GUILESS_MAIN(TestSequenceParts)
#include "tst_sequenceparts.moc"
