#include "backupdata/MachineNumber.h"
#include "core/KestrelError.h"
#include "sequence/MailboxCatalog.h"
#include "sequence/SaveNoteSubject.h"
#include "support/FakeMailboxReader.h"
#include "support/RecordingRestoreProgress.h"
#include "support/TestEnvironment.h"

#include <QTest>

// Save notes read from the mailbox: which subjects count, how parts join into
// versions, and the cache that spares a second listing the notes it has seen.
class TestMailboxCatalog : public QObject
{
    Q_OBJECT

private:
    static QDateTime at(int minute) { return QDateTime(QDate(2026, 3, 1), QTime(10, minute)); }

    static QList<SavedFile> listed(FakeMailboxReader& reader, MailboxCatalog& catalog,
                                   MailboxCatalog::Refresh* refresh = nullptr)
    {
        RecordingRestoreProgress progress;
        const MailboxCatalog::Refresh result = catalog.refresh(
            reader, reader.open(), QStringLiteral("imap.example.org jo INBOX"), progress);
        if (refresh)
            *refresh = result;
        return catalog.files();
    }

private Q_SLOTS:
    void subjectsOfThisMachineOnly()
    {
        TestEnvironment env;
        const QString prefix = MailboxCatalog::subjectPrefix();
        QCOMPARE(prefix, "KestrelSolo Save#" + machineNumberText() + "#");
        const auto whole =
            SaveNoteSubject::parse(prefix, prefix + "/home/jo/a b.txt", "a b.txt.zip");
        QVERIFY(whole);
        QCOMPARE(whole->path, "/home/jo/a b.txt");
        QCOMPARE(whole->count, 1);
        const auto part =
            SaveNoteSubject::parse(prefix, prefix + "/home/jo/big (part 2 of 12)", "big.zip.002");
        QVERIFY(part);
        QCOMPARE(part->path, "/home/jo/big");
        QCOMPARE(part->part, 2);
        QCOMPARE(part->count, 12);
        // A file whose own name looks like a part keeps it when the attachment is whole.
        QCOMPARE(SaveNoteSubject::parse(prefix, prefix + "/x (part 1 of 2)", "x.zip")->path,
                 "/x (part 1 of 2)");
        const QString otherMachine = QString::number(machineNumberText().toUInt() ^ 1u);
        QVERIFY(
            !SaveNoteSubject::parse(prefix, "KestrelSolo Save#" + otherMachine + "#/a", "a.zip"));
        QVERIFY(!SaveNoteSubject::parse(prefix, "KestrelClient Save#x#/a", "a.zip"));
        QVERIFY(!SaveNoteSubject::parse(prefix, prefix, "a.zip"));
    }

    void partsJoinIntoVersions()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        reader.addSaveNote("/home/jo/a.txt", at(1), "one");
        reader.addSaveNote("/home/jo/a.txt", at(5), "two");
        reader.addSaveNote("/home/jo/big", at(2), QByteArray(900, 'b'), 3);
        // Parts 1 and 2 of a set whose part 3 never came, then 2 again: both short.
        // A set without its middle part is one version, short of it.
        const QList<quint32> gap = reader.addSaveNote("/home/jo/gap", at(7), "abcdef", 3);
        reader.removeNote(gap.at(1));
        const QList<quint32> broken = reader.addSaveNote("/home/jo/torn", at(3), "abcdef", 3);
        reader.removeNote(broken.at(2));
        reader.addNote(MailboxCatalog::subjectPrefix() + "/home/jo/torn (part 2 of 3)", at(4), "x",
                       "torn.zip.002");
        reader.addNote("Re: lunch", at(6), "x");
        reader.addNote(MailboxCatalog::subjectPrefix() + "/home/jo/note-without-attachment", at(6),
                       "x", QString());

        MailboxCatalog catalog(env.path("cache"));
        const QList<SavedFile> files = listed(reader, catalog);
        QCOMPARE(files.size(), 4);
        QCOMPARE(files.at(0).path, "/home/jo/a.txt");
        QCOMPARE(files.at(0).versions.size(), 2);
        QCOMPARE(files.at(0).versions.at(0).noteDate, at(5));
        QCOMPARE(files.at(1).path, "/home/jo/big");
        const SavedVersion& big = files.at(1).versions.at(0);
        QVERIFY(big.complete());
        QCOMPARE(big.parts.size(), 3);
        QVERIFY(qAbs(big.archiveSize() - 900) < 6);
        QCOMPARE(files.at(2).path, "/home/jo/gap");
        QCOMPARE(files.at(2).versions.size(), 1);
        QCOMPARE(files.at(2).versions.at(0).parts.size(), 2);
        QVERIFY(!files.at(2).versions.at(0).complete());
        QCOMPARE(files.at(3).path, "/home/jo/torn");
        QCOMPARE(files.at(3).versions.size(), 2);
        for (const SavedVersion& version : files.at(3).versions)
            QVERIFY(!version.complete());
        QCOMPARE(catalog.matching("TORN").size(), 1);
        QCOMPARE(catalog.matching("*.txt").size(), 1);
        QCOMPARE(catalog.matching("/home/*/b*").size(), 1);
        QCOMPARE(catalog.matching("jo").size(), 4);
        QCOMPARE(catalog.matching("?.txt").size(), 1);
        QCOMPARE(catalog.matching("a.tx").size(), 1);
        QCOMPARE(catalog.matching("*.tx").size(), 0);
    }

    void secondListingReadsOnlyNewNotes()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        const quint32 first = reader.addSaveNote("/a", at(1), "1").constFirst();
        reader.addSaveNote("/b", at(2), "2");
        reader.addNote("Re: lunch", at(2), "x");
        MailboxCatalog::Refresh refresh;
        {
            MailboxCatalog catalog(env.path("cache"));
            listed(reader, catalog, &refresh);
        }
        QVERIFY(refresh.readEverything);
        QCOMPARE(refresh.notesRead, 2);

        reader.resetCounts();
        reader.addSaveNote("/c", at(3), "3");
        reader.removeNote(first);
        MailboxCatalog catalog(env.path("cache"));
        const QList<SavedFile> files = listed(reader, catalog, &refresh);
        QVERIFY(!refresh.readEverything);
        QCOMPARE(reader.notesRead(), 1);
        QCOMPARE(refresh.notesRead, 1);
        QCOMPARE(refresh.notesFromCache, 1);
        QCOMPARE(files.size(), 2);
        QCOMPARE(files.at(0).path, "/b");
        QCOMPARE(files.at(1).path, "/c");
        // What the cache gave back is what the server said.
        QCOMPARE(files.at(0).versions.at(0).noteDate, at(2));
        QCOMPARE(files.at(0).versions.at(0).parts.at(0).attachmentSection, "2");

        reader.resetCounts();
        reader.setUidValidity(7);
        listed(reader, catalog, &refresh);
        QVERIFY(refresh.readEverything);
        QCOMPARE(refresh.notesFromCache, 0);
        QCOMPARE(reader.notesRead(), 2);

        // Another mailbox has a cache of its own.
        RecordingRestoreProgress progress;
        reader.resetCounts();
        catalog.refresh(reader, reader.open(), "imap.example.org ann INBOX", progress);
        QCOMPARE(reader.notesRead(), 2);
    }

    void failedListingKeepsTheCache()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        reader.addSaveNote("/a", at(1), "1");
        MailboxCatalog catalog(env.path("cache"));
        listed(reader, catalog);
        reader.addSaveNote("/b", at(2), "2");
        reader.close();
        RecordingRestoreProgress progress;
        QVERIFY_THROWS_EXCEPTION(
            KestrelError,
            catalog.refresh(reader, {1, 3, 2}, "imap.example.org jo INBOX", progress));
        reader.resetCounts();
        MailboxCatalog::Refresh refresh;
        listed(reader, catalog, &refresh);
        QCOMPARE(refresh.notesFromCache, 1);
        QCOMPARE(refresh.notesRead, 1);
    }
};

QTEST_GUILESS_MAIN(TestMailboxCatalog)
#include "tst_mailboxcatalog.moc"
