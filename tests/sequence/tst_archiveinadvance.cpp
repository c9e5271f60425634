#include "SequenceTestFixture.h"

#include "backupdata/TernFileObject.h"
#include "sequence/ArchiveInAdvance.h"
#include "sequence/SequenceWorkerThread.h"
#include "support/MailedArchive.h"
#include "support/SmtpSink.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QFile>
#include <QTest>

// Archives made ahead of their turn (the log while the files are walked, the next
// due file while the current one is mailed) and what the walk saw ahead of it: what
// goes out must always be the file as it is at its turn.
class TestArchiveInAdvance : public QObject
{
    Q_OBJECT

private:
    static constexpr auto ZipPassword = "ahead of time";

    static QStringList zipFolderEntries()
    {
        return QDir(TQuayRegistryObject().ReadZipDirectory()).entryList(QDir::Files | QDir::Hidden);
    }
    static void append(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    static void touchLater(const QString& path, int seconds)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
        QVERIFY(file.setFileTime(modified.addSecs(seconds), QFileDevice::FileModificationTime));
    }
    // What a mailed message of the fixture's server carried, unpacked.
    static MailedArchive mailed(const SequenceFixture& f, int index)
    {
        return MailedArchive::readText(f.server.messages().value(index),
                                       f.env.path(QStringLiteral("mailed-%1").arg(index)),
                                       QLatin1String(ZipPassword));
    }

private Q_SLOTS:
    void archiveIsTakenOnlyWhileTheFileIsUnchanged()
    {
        TestEnvironment env;
        TQuayRegistryObject().WriteUserZipPassword(QLatin1String(ZipPassword));
        const QString path = env.writeFile(QStringLiteral("data/notes.txt"), "first words\n");
        SequenceWorkerThread helper;
        TTernFileObject file;
        file.SetFileName(path);

        // Unchanged: the archive takes the name CreateZip gives, and opens to the file.
        {
            ArchiveInAdvance ahead(QStringLiteral("test"));
            ahead.start(helper, path);
            TZipMaster zip;
            QVERIFY(ahead.adopt(file, zip));
            QCOMPARE(zip.ZipFileName(),
                     TTernFileObject::ZipFolder() + QLatin1Char('/') + file.ZipArchiveName());
            QVERIFY(zip.ArchiveSize() > 0);
            // The record will describe the file as it was packed.
            QVERIFY(file.PackedState() == FileState::of(path));
            const QString unpacked = env.path(QStringLiteral("unpacked/"));
            SmtpSink::run(QStringLiteral("7zz"),
                          {QStringLiteral("x"), QStringLiteral("-y"),
                           QStringLiteral("-p") + QLatin1String(ZipPassword),
                           QStringLiteral("-o") + unpacked, zip.ZipFileName()});
            QFile out(unpacked + QStringLiteral("notes.txt"));
            QVERIFY(out.open(QIODevice::ReadOnly));
            QCOMPARE(out.readAll(), QByteArray("first words\n"));
            QFile::remove(zip.ZipFileName());
        }
        QVERIFY(zipFolderEntries().isEmpty());

        // Changed after packing, another file, another password: never taken, and
        // the scratch archive is gone.
        const std::function<void()> changes[] = {
            [&] { append(path, "more words\n"); },
            [&] { file.SetFileName(env.writeFile(QStringLiteral("data/other.txt"), "x")); },
            [&] { TQuayRegistryObject().WriteUserZipPassword(QStringLiteral("changed")); },
        };
        for (const auto& change : changes) {
            file.SetFileName(path);
            ArchiveInAdvance ahead(QStringLiteral("test"));
            ahead.start(helper, path);
            // The helper runs one step at a time: after this one the packing is done.
            helper.run([] {});
            change();
            TZipMaster zip;
            QVERIFY(!ahead.adopt(file, zip));
            QVERIFY2(zipFolderEntries().isEmpty(), qPrintable(zipFolderEntries().join(u' ')));
        }

        // Discarded, or dropped with its owner: nothing is left behind.
        TQuayRegistryObject().WriteUserZipPassword(QLatin1String(ZipPassword));
        {
            ArchiveInAdvance ahead(QStringLiteral("test"));
            ahead.start(helper, path);
        }
        QVERIFY(zipFolderEntries().isEmpty());
    }

    void nextFileChangedWhileThePreviousIsMailedGoesOutAsItIsThen()
    {
        SequenceFixture f;
        TQuayRegistryObject().WriteUserZipPassword(QLatin1String(ZipPassword));
        const QString a = f.dataFile(QStringLiteral("tree/a.txt"), "alpha\n");
        const QString b = f.dataFile(QStringLiteral("tree/b.txt"), "bravo\n");
        const QString c = f.dataFile(QStringLiteral("tree/c.txt"), "charlie\n");
        f.listFolders({QFileInfo(a).absolutePath()});
        // b was packed ahead while a was mailed; it changes before its turn.
        f.clock.onPause = [&] {
            append(b, "bravo again\n");
        };
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths(), (QStringList{a, b, c, TQuayRegistryObject().ReadLogFile()}));
        QCOMPARE(mailed(f, 0).content, QByteArray("alpha\n"));
        QCOMPARE(mailed(f, 1).content, QByteArray("bravo\nbravo again\n"));
        QCOMPARE(mailed(f, 2).content, QByteArray("charlie\n"));
        // The log goes out with the three records written during the run.
        QFile log(TQuayRegistryObject().ReadLogFile());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(mailed(f, 3).content, log.readAll());
        QVERIFY(zipFolderEntries().isEmpty());
    }

    void fileChangedAfterTheWalkLookedAheadIsStillSent()
    {
        SequenceFixture f;
        const QString first = f.dataFile(QStringLiteral("one/first.txt"), "first\n");
        const QString later = f.dataFile(QStringLiteral("two/later.txt"), "later\n");
        f.listFiles({first});
        f.listFolders({QFileInfo(later).absolutePath()});
        f.window.subFolders = true;
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.loggedPaths(), (QStringList{first, later}));

        // The second run looks at the folder's file ahead while the session is opened
        // and finds it current; the listed file is due and sent first, and meanwhile
        // the folder's file changes: it must not pass as current.
        touchLater(first, 10);
        f.clock.onPause = [&] {
            touchLater(later, 20);
        };
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.mailedPaths().mid(3),
                 (QStringList{first, later, TQuayRegistryObject().ReadLogFile()}));
        QCOMPARE(f.loggedPaths(), (QStringList{first, later, first, later}));
    }
};

QTEST_GUILESS_MAIN(TestArchiveInAdvance)
#include "tst_archiveinadvance.moc"
