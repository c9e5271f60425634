#include "backupdata/MachineNumber.h"
#include "core/KestrelError.h"
#include "restore/MailboxCatalog.h"
#include "restore/SaveNoteSubject.h"
#include "support/FakeMailboxReader.h"
#include "support/RecordingRestoreProgress.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
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

        // Sizes a server announces with 18 digits add up without overflow.
        SavedVersion huge = big;
        for (MailboxNote& note : huge.parts)
            note.attachmentEncodedSize = 999'999'999'999'999'999;
        while (huge.parts.size() < 20)
            huge.parts += huge.parts;
        QCOMPARE(huge.archiveSize(), std::numeric_limits<qint64>::max());
    }

    // Each delivery "A4/2": part 2 of a set of 4 parts; sets A to F carry a set id,
    // L and M are notes written before sets were marked; "x" after it: a note whose
    // bytes differ from the set's; "other": a note of another program. A set's notes
    // are sent at its letter's minute. Versions newest first: set, part numbers and
    // fault.
    void partsGroupBySet_data()
    {
        QTest::addColumn<QStringList>("deliveries");
        QTest::addColumn<QStringList>("versions");
        const auto row = [](const char* name, const char* deliveries, QStringList versions) {
            QTest::newRow(name) << QString(deliveries).split(' ') << versions;
        };
        row("parts 1 4 2 3", "A4/1 A4/4 A4/2 A4/3", {"A 1,2,3,4"});
        row("parts 2 1 5 3 4", "A5/2 A5/1 A5/5 A5/3 A5/4", {"A 1,2,3,4,5"});
        row("a part delivered twice", "A3/1 A3/2 A3/2 A3/3", {"A 1,2,3"});
        row("a part missing", "A4/4 A4/1 A4/3", {"A 1,3,4 incomplete: part 2 of 4 is missing"});
        row("parts missing", "A9/9 A9/1 A9/5",
            {"A 1,5,9 incomplete: parts 2-4 and 6-8 of 9 are missing"});
        row("two sets interleaved", "A3/1 B3/1 B3/3 A3/2 A3/3 B3/2", {"B 1,2,3", "A 1,2,3"});
        row("a torn set, then a whole one", "A3/3 B3/2 A3/1 B3/1 B3/3",
            {"B 1,2,3", "A 1,3 incomplete: part 2 of 3 is missing"});
        row("an id repeated with another count", "A3/1 A3/2 A4/4 A3/3",
            {"A 1,2,3,4 not restorable: the notes of its set announce 3 and 4 parts"});
        row("two different notes for a part", "A3/1 A3/2x A3/2 A3/3",
            {"A 1,2,3 not restorable: part 2 came twice with different contents"});
        row("unmarked parts out of order", "L3/2 L3/1 L3/3", {"L 1,2,3"});
        row("unmarked sets one after another", "L2/2 M2/1 L2/1 M2/2", {"M 1,2", "L 1,2"});
        row("unmarked part delivered twice", "L2/1 L2/2 L2/1", {"L 1,2"});
        row("unmarked part missing", "L3/3 L3/1", {"L 1,3 incomplete: part 2 of 3 is missing"});
        row("marked and unmarked", "L2/1 A2/2 L2/2 A2/1", {"L 1,2", "A 1,2"});
        row("a note of another program", "A2/2 other A2/1", {"A 1,2"});
        row("one note in a set of one", "B1/1 L1/1", {"L 1", "B 1"});
    }
    void partsGroupBySet()
    {
        QFETCH(QStringList, deliveries);
        QFETCH(QStringList, versions);
        TestEnvironment env;
        FakeMailboxReader reader;
        const QByteArray archive = FakeMailboxReader::archive("f", QByteArray(5000, 'f'));
        // Another archive, of another size: a server tells sizes, not contents.
        const QByteArray other = archive + QByteArray(300, 'o');
        for (const QString& delivery : std::as_const(deliveries)) {
            if (delivery == "other") {
                reader.addNote("Fwd: " + MailboxCatalog::subjectPrefix() + "/home/jo/f", at(1), "x",
                               "f.zip");
                continue;
            }
            const QChar set = delivery.at(0);
            const bool marked = set <= QChar('F');
            const int slash = delivery.indexOf('/');
            reader.addSavePart(
                "/home/jo/f", at(set.unicode() - 'A' + 1), delivery.endsWith('x') ? other : archive,
                delivery.mid(slash + 1).remove('x').toInt(), delivery.mid(1, slash - 1).toInt(),
                marked ? QString(32, set.toLower()) : QString());
        }
        // Listed from the mailbox, then from the cache: both the same.
        for (int listing = 0; listing < 2; ++listing) {
            MailboxCatalog catalog(env.path("cache"));
            const QList<SavedFile> files = listed(reader, catalog);
            QCOMPARE(files.size(), 1);
            QStringList found;
            for (const SavedVersion& version : files.at(0).versions) {
                QStringList numbers;
                for (const int part : version.partNumbers)
                    numbers.append(QString::number(part));
                const QChar set(version.noteDate.time().minute() + 'A' - 1);
                QCOMPARE(version.setId, set <= QChar('F') ? QString(32, set.toLower()) : QString());
                found.append(QString(set) + ' ' + numbers.join(',') +
                             (version.complete() ? QString() : ' ' + version.fault()));
                // Each note is the part its number says.
                for (qsizetype i = 0; i < version.parts.size() && version.partCount > 1; ++i)
                    QVERIFY(version.parts.at(i).attachmentName.endsWith(
                        QString::number(version.partNumbers.at(i))));
            }
            QCOMPARE(found, versions);
        }
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

        // A cache written before notes carried their set is read again.
        for (const QFileInfo& cache : QDir(env.path("cache")).entryInfoList(QDir::Files)) {
            QFile file(cache.filePath());
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray text = file.readAll().replace("\"format\":2", "\"format\":1");
            QVERIFY(file.resize(0) && file.seek(0) && file.write(text) == text.size());
        }
        reader.resetCounts();
        listed(reader, catalog, &refresh);
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
