#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "backupdata/TernFileObject.h"
#include "core/QuayRegistryObject.h"
#include "restore/MailboxLogRebuild.h"
#include "restore/MailboxRestore.h"
#include "restore/MailboxVerify.h"
#include "support/FakeMailboxReader.h"
#include "support/RecordingRestoreProgress.h"
#include "support/TestEnvironment.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

// The log written back from the save notes, and the check of saved versions against
// the log.
class TestMailboxLog : public QObject
{
    Q_OBJECT

private:
    static constexpr auto Password = "log password";

    static QDateTime at(int minute) { return QDateTime(QDate(2026, 3, 1), QTime(10, minute)); }

    static QStringList lines(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {"<missing>"};
        QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n");
        if (lines.constLast().isEmpty())
            lines.removeLast();
        return lines;
    }

    static void refresh(MailboxCatalog& catalog, FakeMailboxReader& reader)
    {
        RecordingRestoreProgress progress;
        catalog.refresh(reader, reader.open(), "key", progress);
    }

private Q_SLOTS:
    void logIsRebuiltAndChecked()
    {
        TestEnvironment env;
        const TQuayRegistryObject store;
        const QString logPath = store.ReadLogFile();
        QFile old(logPath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("/old;01/01/2020 10:00:00;1 KB;01/01/2020 10:00:00;7\r\n");
        old.close();
        store.WriteFileIDNumber(40);

        FakeMailboxReader reader;
        const QDateTime modified(QDate(2025, 12, 24), QTime(18, 30, 2));
        QByteArray big(300000, Qt::Uninitialized);
        for (char& byte : big)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        reader.addSaveNote("/home/jo/a.txt", at(2),
                           FakeMailboxReader::archive("a.txt", "second", Password, modified));
        reader.addSaveNote("/home/jo/a.txt", at(1),
                           FakeMailboxReader::archive("a.txt", "first", Password, modified));
        reader.addSaveNote("/home/jo/big", at(3),
                           FakeMailboxReader::archive("big", big, Password, modified), 3);
        reader.addSaveNote("/home/jo/not-a-zip", at(4), QByteArray(3000, 'z'));
        const QList<quint32> torn = reader.addSaveNote("/home/jo/torn", at(5), "abc", 2);
        reader.removeNote(torn.at(0));
        MailboxCatalog catalog(env.path("cache"));
        refresh(catalog, reader);

        RecordingRestoreProgress progress;
        const MailboxLogRebuild::Result result =
            MailboxLogRebuild::rebuild(catalog, reader, progress);
        QCOMPARE(result.records, 4);
        QCOMPARE(lines(result.archivedLog).constFirst(),
                 "/old;01/01/2020 10:00:00;1 KB;01/01/2020 10:00:00;7");
        // Archiving counts as a file processed, as the menu command does.
        QCOMPARE(
            lines(logPath),
            QStringList({"/home/jo/a.txt;24/12/2025 18:30:02;0 KB;01/03/2026 10:01:00;42",
                         "/home/jo/a.txt;24/12/2025 18:30:02;0 KB;01/03/2026 10:02:00;43",
                         "/home/jo/big;24/12/2025 18:30:02;292 KB;01/03/2026 10:03:00;44",
                         "/home/jo/not-a-zip;01/03/2026 10:04:00;2 KB;01/03/2026 10:04:00;45"}));
        QCOMPARE(store.ReadFileIDNumber(), 45);
        TTernBackUpFileObjectList records;
        QVERIFY(BackUpLogReader::readAll(logPath, records).damagedLines.isEmpty());

        MailboxVerify::Result checked =
            MailboxVerify::verify(catalog, reader, Password, 10, progress);
        QCOMPARE(checked.checked, 4);
        QCOMPARE(checked.faults.size(), 1);
        QCOMPARE(checked.faults.at(0).path, "/home/jo/not-a-zip");

        // The log mailed at a sequence's end has no record of itself and is no fault.
        reader.addSaveNote(logPath, at(7), FakeMailboxReader::archive("Log.Txt", "x", Password));
        refresh(catalog, reader);
        checked = MailboxVerify::verify(catalog, reader, Password, 10, progress);
        QCOMPARE(checked.checked, 5);
        QCOMPARE(checked.faults.size(), 1);

        reader.addSaveNote("/home/jo/unlogged", at(6), FakeMailboxReader::archive("u", "u"));
        refresh(catalog, reader);
        checked = MailboxVerify::verify(catalog, reader, "wrong", 10, progress);
        QCOMPARE(checked.checked, 6);
        QStringList reasons;
        for (const MailboxVerify::Fault& fault : checked.faults)
            reasons.append(fault.path + ": " + fault.reason);
        reasons.sort();
        QCOMPARE(reasons.size(), 6);
        QCOMPARE(reasons.at(0), "/home/jo/a.txt: wrong zip password");
        QVERIFY(reasons.contains("/home/jo/unlogged: the log has no record of it"));
        QVERIFY(!checked.text().contains("wrong,") &&
                checked.text().startsWith(
                    "6 saved versions checked, 3 logged files looked up, 6 faults\n"));
        QCOMPARE(MailboxVerify::verify(catalog, reader, Password, 2, progress).checked, 2);
    }

    // With a zip password, only archives that open with it are the user's: a note
    // planted in the mailbox neither enters a rebuilt log nor passes the check.
    void plantedNotesAreLeftOut()
    {
        TestEnvironment env;
        const TQuayRegistryObject store;
        store.WriteUserZipPassword(Password);
        FakeMailboxReader reader;
        const QDateTime modified(QDate(2025, 12, 24), QTime(18, 30, 2));
        const QDateTime future(QDate(2099, 1, 1), QTime(0, 0));
        reader.addSaveNote("/home/jo/mine", at(1),
                           FakeMailboxReader::archive("mine", "mine", Password, modified));
        reader.addSaveNote("/home/jo/plain", at(2), FakeMailboxReader::archive("plain", "x"));
        reader.addSaveNote("/home/jo/other", at(3),
                           FakeMailboxReader::archive("other", "x", "other password"));
        reader.addSaveNote("/home/jo/late", at(4),
                           FakeMailboxReader::archive("late", "x", Password, future));
        reader.addSaveNote("/home/jo/late-note", future,
                           FakeMailboxReader::archive("late-note", "x", Password, modified));
        reader.addSaveNote("/home/jo/a\x1a;01/01/2099 00:00:00", at(5),
                           FakeMailboxReader::archive("a", "x", Password, modified));
        reader.addSaveNote("/home/jo/not-a-zip", at(6), QByteArray(3000, 'z'));
        MailboxCatalog catalog(env.path("cache"));
        refresh(catalog, reader);

        RecordingRestoreProgress progress;
        QCOMPARE(MailboxLogRebuild::rebuild(catalog, reader, progress).records, 1);
        QCOMPARE(lines(store.ReadLogFile()),
                 QStringList({"/home/jo/mine;24/12/2025 18:30:02;0 KB;01/03/2026 10:01:00;1"}));
        QCOMPARE(progress.statuses.filter("Left out").size(), 6);
        QVERIFY(progress.statuses.contains(
            "Left out /home/jo/other: its archive does not open with the zip password"));
        QVERIFY(progress.statuses.contains(
            "Left out /home/jo/late: it is dated in the future (2099-01-01T00:00:00)"));

        reader.addSaveNote("/home/jo/mine", at(7), FakeMailboxReader::archive("mine", "x"));
        refresh(catalog, reader);
        const MailboxVerify::Result checked =
            MailboxVerify::verify(catalog, reader, Password, 10, progress);
        QVERIFY2(
            checked.text().contains(
                "/home/jo/mine (saved 2026-03-01 10:07:00): refused: the archive is not encrypted "
                "with AES"),
            qPrintable(checked.text()));
    }

    // Every file's latest log record is looked up in the mailbox, whatever the sample.
    void verifyFindsGapsOfTheLatestRecords()
    {
        TestEnvironment env;
        const QString logPath = TQuayRegistryObject().ReadLogFile();
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::WriteOnly));
        const auto record = [&](const char* path, int minute) {
            log.write(QByteArray(path) + ";01/01/2026 09:00:00;1 KB;01/03/2026 10:" +
                      QByteArray::number(minute).rightJustified(2, '0') + ":00;0\r\n");
        };
        FakeMailboxReader reader;
        const QByteArray zip = FakeMailboxReader::archive("f", QByteArray(3000, 'f'));
        const QString set(32, 'a');
        record("/whole", 5);
        reader.addSaveNote("/whole", at(5), zip);
        record("/torn", 10);
        reader.addSaveNote("/torn", at(1), zip);
        reader.addSavePart("/torn", at(10), zip, 1, 2, set);
        record("/gone", 20);
        reader.addSaveNote("/gone", at(1), zip);
        record("/out-of-order", 1);
        record("/out-of-order", 30);
        for (const int part : {3, 1, 2})
            reader.addSavePart("/out-of-order", at(30), zip, part, 3, QString(32, 'b'));
        record("/never-sent", 2);
        record("/resent", 40);
        reader.addSavePart("/resent", at(40), zip, 2, 2, QString(32, 'c'));
        reader.addSaveNote("/resent", at(41), zip, 2, QString(32, 'd'));
        log.close();
        MailboxCatalog catalog(env.path("cache"));
        refresh(catalog, reader);

        RecordingRestoreProgress progress;
        const MailboxVerify::Result result =
            MailboxVerify::verify(catalog, reader, Password, 0, progress);
        QCOMPARE(result.text(),
                 "0 saved versions checked, 6 logged files looked up, 3 faults\n"
                 "/torn (saved 2026-03-01 10:10:00): the log's latest backup of it is "
                 "incomplete: part 2 of 2 is missing\n"
                 "/gone (saved 2026-03-01 10:20:00): the log's latest backup of it is not in "
                 "the mailbox\n"
                 "/never-sent (saved 2026-03-01 10:02:00): the log's latest backup of it is not "
                 "in the mailbox");
        QCOMPARE(reader.fetches(), 0);
    }

    void restoredAndRebuiltKeepTheExactSecond_data()
    {
        QTest::addColumn<QDateTime>("modified");
        QTest::addColumn<bool>("packedByTheProgram");
        const QDateTime oddSecond(QDate(2026, 2, 3), QTime(4, 5, 7));
        QTest::newRow("extended timestamp") << oddSecond << true;
        QTest::newRow("extended timestamp, before 1980")
            << QDateTime(QDate(1971, 3, 4), QTime(5, 6, 7)) << true;
        QTest::newRow("DOS date, the log's second") << oddSecond << false;
    }

    // A file restored, or whose log was rebuilt from the mailbox, is not due at the next run.
    void restoredAndRebuiltKeepTheExactSecond()
    {
        QFETCH(QDateTime, modified);
        QFETCH(bool, packedByTheProgram);
        TestEnvironment env;
        const TQuayRegistryObject store;
        store.WriteUserZipPassword(Password);
        const QString source = env.writeFile("Docs/odd.txt", "odd");
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        QByteArray archive;
        if (packedByTheProgram) {
            TZipMaster zip;
            zip.LoadZipEngine();
            TTernFileObject file;
            file.SetFileName(source);
            file.CreateZip(zip);
            QFile packed(zip.ZipFileName());
            QVERIFY(packed.open(QIODevice::ReadOnly));
            archive = packed.readAll();
        } else {
            // Written before archives carried the exact second: the log still has it.
            archive = FakeMailboxReader::archive("odd.txt", "odd", Password, modified);
            QFile log(store.ReadLogFile());
            QVERIFY(log.open(QIODevice::WriteOnly));
            log.write(source.toUtf8() + modified.toString(";dd/MM/yyyy hh:mm:ss").toUtf8() +
                      ";0 KB;01/03/2026 10:01:00;1\r\n");
        }
        FakeMailboxReader reader;
        reader.addSaveNote(source, at(1), archive);
        MailboxCatalog catalog(env.path("cache"));
        refresh(catalog, reader);
        RecordingRestoreProgress progress;
        // Restored with the exact second too, while the log is there to say it.
        const QString target = env.path("restored");
        QDir().mkpath(target);
        MailboxRestore restore(reader, target, Password);
        QCOMPARE(restore.restore({catalog.files().constFirst().versions.constFirst()}, progress)
                     .restored,
                 1);
        QCOMPARE(QFileInfo(target + source).lastModified(), modified);
        QCOMPARE(MailboxLogRebuild::rebuild(catalog, reader, progress).records, 1);

        TTernBackUpFileObjectList records;
        QVERIFY(BackUpLogReader::readAll(store.ReadLogFile(), records).damagedLines.isEmpty());
        QCOMPARE(records.Count(), 1);
        QCOMPARE(records.Items(0).FileDate(), modified);
        QVERIFY(!records.IsDue(source, QFileInfo(source).lastModified()));
    }
};

QTEST_GUILESS_MAIN(TestMailboxLog)
#include "tst_mailboxlog.moc"
