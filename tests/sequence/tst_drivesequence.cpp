#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "backupdata/TernFileObject.h"
#include "core/QuayRegistryObject.h"
#include "sequence/BackUpSequence.h"
#include "sequence/DriveSequenceTransport.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceRun.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWorkerThread.h"
#include "support/LoggedPaths.h"
#include "support/RecordingSequenceWindow.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

// KestrelDrive sequences in a temporary home: where the copies go, what the log
// records, how the run ends, and the destination names of the copies.
class TestDriveSequence : public QObject
{
    Q_OBJECT

private:
    struct DriveFixture
    {
        TestEnvironment env{QStringLiteral("KestrelDrive")};
        ScopedServices services{{&env.prompt, &env.clock, &env.autostart, &env.powerOff,
                                 &env.dialUp, &env.notifications, &env.fileManagerMenu,
                                 &env.secretStore, &env.schedule}};
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion{window, state};
        BackUpSequence sequence{window, completion};
        QString backUpFolder = env.path(QStringLiteral("stick/USB.Stick"));

        DriveFixture()
        {
            QDir().mkpath(backUpFolder);
            TQuayRegistryObject().WriteUserBackUpEmailAddress(backUpFolder);
        }
        QString dataFile(const QString& relative, const QByteArray& content) const
        {
            return env.writeFile(QStringLiteral("home/ann.smith/") + relative, content);
        }
        static void writeList(const QString& path, const QStringList& entries)
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            for (const QString& entry : entries)
                file.write(entry.toUtf8() + "\r\n");
        }
        static void listFiles(const QStringList& files)
        {
            writeList(TQuayRegistryObject().ReadFileOfFiles(), files);
        }
        static void listFolders(const QStringList& folders)
        {
            writeList(TQuayRegistryObject().ReadFileOfDirectories(), folders);
        }
        // The copy of a source with this run's number.
        QString copyOf(const QString& source, int number) const
        {
            return TTernFileObject::driveDestinationOf(source, backUpFolder, number);
        }
        // Every file below the backup folder, relative to it.
        QStringList copies() const
        {
            QStringList found;
            QDirIterator it(backUpFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext())
                found << it.next().mid(backUpFolder.size() + 1);
            found.sort();
            return found;
        }
        static QStringList loggedPaths() { return ::loggedPaths(); }
    };

    static QByteArray contentOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static QDateTime modifiedOf(const QString& path) { return QFileInfo(path).lastModified(); }
    static void touchLater(const QString& path, int seconds)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
        QVERIFY(file.setFileTime(modified.addSecs(seconds), QFileDevice::FileModificationTime));
    }

private Q_SLOTS:
    void destinations_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("number"); // -1: overwrite, no number
        QTest::addColumn<QString>("expected");
        const QString doc = QStringLiteral("/Documents/report.doc");
        QTest::newRow("trailing slash")
            << doc << "/media/Backup/" << 57 << "/media/Backup/Documents/report (57) .doc";
        QTest::newRow("no trailing slash")
            << doc << "/media/Backup" << 57 << "/media/Backup/Documents/report (57) .doc";
        QTest::newRow("dot in the backup folder")
            << doc << "/media/ann/USB.Stick" << 57
            << "/media/ann/USB.Stick/Documents/report (57) .doc";
        QTest::newRow("dots in source folders")
            << "/home/ann.smith/.config/app/settings.ini"
            << "/media/Backup" << 57
            << "/media/Backup/home/ann.smith/.config/app/settings (57) .ini";
        QTest::newRow("no extension")
            << "/home/ann/Docs/README"
            << "/media/Backup" << 57 << "/media/Backup/home/ann/Docs/README (57) ";
        QTest::newRow("hidden file")
            << "/home/ann/.bashrc"
            << "/media/Backup" << 57 << "/media/Backup/home/ann/.bashrc (57) ";
        QTest::newRow("hidden file with an extension")
            << "/home/ann/.notes.txt"
            << "/media/Backup" << 3 << "/media/Backup/home/ann/.notes (3) .txt";
        QTest::newRow("two extensions")
            << "/srv/archive.tar.gz"
            << "/media/Backup" << 57 << "/media/Backup/srv/archive (57) .tar.gz";
        QTest::newRow("overwrite: no number")
            << "/home/ann.smith/report.doc"
            << "/media/Backup" << -1 << "/media/Backup/home/ann.smith/report.doc";
        QTest::newRow("the root as backup folder") << "/home/ann/a.txt"
                                                   << "/" << 7 << "/home/ann/a (7) .txt";
    }

    void destinations()
    {
        QFETCH(QString, source);
        QFETCH(QString, folder);
        QFETCH(int, number);
        QFETCH(QString, expected);
        QCOMPARE(TTernFileObject::driveDestinationOf(
                     source, folder, number < 0 ? std::nullopt : std::optional<int>(number)),
                 expected);
    }

    // A first run copies every file byte for byte below the backup folder, all under
    // the run's number and with the sources' dates; a second run copies only the file
    // that changed, under a higher number.
    void runsCopyWhatIsDueUnderTheirNumber()
    {
        DriveFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "first file");
        const QString readme = f.dataFile(QStringLiteral("README"), QByteArray(300000, 'r'));
        const QString hidden = f.dataFile(QStringLiteral("tree/.profile"), "never walked");
        const QString c = f.dataFile(QStringLiteral("tree/c.tar.gz"), "in the tree");
        const QString d = f.dataFile(QStringLiteral("tree/sub.dir/d.txt"), "further down");
        f.listFiles({a, readme, hidden});
        f.listFolders({QFileInfo(c).absolutePath()});
        f.window.subFolders = true;
        TQuayRegistryObject().WriteMaxNumberOfBytesToBackedUp(100e6);

        f.sequence.RunBackUpSequence();
        const TQuayRegistryObject store;
        QVERIFY(store.ReadBackUpSequenceSuccess());
        const int first = store.ReadFileIDNumber() - 1; // the end's file object counts too
        const QStringList sources{a, readme, hidden, c, d};
        for (const QString& source : sources) {
            const QString copy = f.copyOf(source, first);
            QVERIFY2(copy.startsWith(f.backUpFolder + QLatin1Char('/')), qPrintable(copy));
            QCOMPARE(contentOf(copy), contentOf(source));
            QCOMPARE(modifiedOf(copy), modifiedOf(source));
        }
        // No temporary copy is left beside the copies.
        QCOMPARE(f.copies().size(), sources.size());
        QCOMPARE(f.loggedPaths(), sources);
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 5);
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), 292000.0); // 292 KB of README
        QVERIFY(f.state.PendingLogLines.isEmpty());
        QVERIFY(f.window.history.contains(QStringLiteral("Backed up version of ") + c +
                                          QStringLiteral(" is superseded.")));

        touchLater(c, 10);
        f.sequence.RunBackUpSequence();
        const int second = store.ReadFileIDNumber() - 1;
        QVERIFY(second > first);
        QCOMPARE(f.copies().size(), sources.size() + 1);
        QCOMPARE(contentOf(f.copyOf(c, second)), QByteArray("in the tree"));
        QCOMPARE(modifiedOf(f.copyOf(c, second)), modifiedOf(c));
        QCOMPARE(f.loggedPaths(), sources + QStringList{c});
        QVERIFY(f.window.history.contains(QStringLiteral("Back up copy of ") + a +
                                          QStringLiteral(" is current")));

        // Left out from now on: c changes but is not copied, and its records stay.
        QFile patterns(store.ReadFileOfExclusions());
        QVERIFY(patterns.open(QIODevice::WriteOnly));
        patterns.write("*.tar.gz\n");
        patterns.close();
        touchLater(c, 20);
        f.sequence.RunBackUpSequence();
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QCOMPARE(f.copies().size(), sources.size() + 1);
        QCOMPARE(f.loggedPaths(), sources + QStringList{c});
        QVERIFY(
            f.window.history.contains(QStringLiteral("1 file was left out by the exclusions.")));
        QVERIFY(QFile::remove(store.ReadFileOfExclusions()));

        // Overwriting on: the copy has no number and a later run replaces it.
        store.WriteOverWriteFiles(true);
        f.window.type = SequenceWindow::BackUpType::Full;
        f.sequence.RunBackUpSequence();
        const QString plain = f.backUpFolder + a;
        QCOMPARE(contentOf(plain), QByteArray("first file"));
        QFile::remove(a);
        f.dataFile(QStringLiteral("a.txt"), "changed");
        f.sequence.RunBackUpSequence();
        QCOMPARE(contentOf(plain), QByteArray("changed"));
        QCOMPARE(f.copies().size(), sources.size() + 1 + sources.size());
        QVERIFY(store.ReadBackUpSequenceSuccess());
    }

    void missingBackUpFolderFailsTheRun()
    {
        DriveFixture f;
        TQuayRegistryObject().WriteUserBackUpEmailAddress(f.env.path(QStringLiteral("gone")) +
                                                          QStringLiteral("/stick"));
        f.listFiles({f.dataFile(QStringLiteral("a.txt"), "not copied")});

        f.sequence.RunBackUpSequence();
        const QStringList expected{
            QString(), QStringLiteral("Could not back up as back up folder not available.")};
        const qsizetype at = f.window.history.indexOf(expected.last());
        QVERIFY(at > 0);
        QCOMPARE(f.window.history.at(at - 1), QString());
        QVERIFY(!f.window.history.contains(QStringLiteral("Processing files from files list...")));
        QVERIFY(f.window.calls.contains(QStringLiteral("beep")));
        QVERIFY(f.env.clock.waits().contains(DriveSequenceTransport::MissingFolderPauseMs));
        QVERIFY(f.window.history.contains(
            QStringLiteral("Back up sequence failed to complete.  Please check your media.")));
        const TQuayRegistryObject store;
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        const QString cause =
            QStringLiteral("The back up folder %1 does not exist or is not a "
                           "folder.")
                .arg(f.env.path(QStringLiteral("gone")) + QStringLiteral("/stick"));
        QCOMPARE(store.ReadSequenceMessage(),
                 QStringLiteral("Last back up sequence failed to complete.  Please check your "
                                "media.\n\n") +
                     expected.last() + QLatin1Char('\n') + cause);
        QCOMPARE(f.window.memo.last(), cause);
        QVERIFY(f.loggedPaths().isEmpty());
        QVERIFY(!QFileInfo::exists(f.env.path(QStringLiteral("gone"))));
        QVERIFY(f.window.runEnabled);
    }

    // With a limit of 2,000,000 bytes and files of 900 KB, the third file is copied but
    // neither counted nor logged, and the run ends as a success.
    void byteLimitStopsAfterTheFileThatReachesIt()
    {
        DriveFixture f;
        const QByteArray kb900(900 * 1024, 'x');
        const QStringList files{
            f.dataFile(QStringLiteral("1.bin"), kb900), f.dataFile(QStringLiteral("2.bin"), kb900),
            f.dataFile(QStringLiteral("3.bin"), kb900), f.dataFile(QStringLiteral("4.bin"), kb900)};
        f.listFiles(files);
        const TQuayRegistryObject store;
        store.WriteMaxNumberOfBytesToBackedUp(2e6);

        f.sequence.RunBackUpSequence();
        QCOMPARE(f.copies().size(), 3);
        QCOMPARE(f.loggedPaths(), files.mid(0, 2));
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 2);
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), 1.8e6);
        QVERIFY(f.window.history.contains(QStringLiteral(
            "Number of bytes to back up has reached the maximum number of bytes selected in this "
            "back up sequence.")));
        QVERIFY(store.ReadBackUpSequenceSuccess());

        // A file that alone reaches the limit is still kept when it is the run's first:
        // it would otherwise stop every run, and no file after it would be backed up.
        store.WriteMaxNumberOfBytesToBackedUp(0.5e6);
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.loggedPaths(), files.mid(0, 3));
        f.sequence.RunBackUpSequence();
        QCOMPARE(f.loggedPaths(), files);
    }

    // A copy that fails once is made again; one that fails twice is named in the memo
    // and left due, and the run goes on with the next file and ends as failed.
    void failingCopies()
    {
        DriveFixture f;
        const QString once = f.dataFile(QStringLiteral("once.txt"), "second attempt");
        const QString twice = f.dataFile(QStringLiteral("twice.txt"), "never copied");
        const QString after = f.dataFile(QStringLiteral("after.txt"), "still copied");
        f.listFiles({once, twice, after});
        // A folder where the copy of twice.txt would go: every attempt fails.
        QVERIFY(QDir().mkpath(f.copyOf(twice, TQuayRegistryObject().ReadFileIDNumber() + 1)));
        f.sequence.RunBackUpSequence();

        QVERIFY(f.window.history.contains(QStringLiteral("Could not copy file: twice")));
        QCOMPARE(f.loggedPaths(), (QStringList{once, after}));
        QCOMPARE(contentOf(f.copyOf(after, TQuayRegistryObject().ReadFileIDNumber() - 1)),
                 QByteArray("still copied"));
        const TQuayRegistryObject store;
        QVERIFY(!store.ReadBackUpSequenceSuccess());
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 2);
        // The copy that failed is not told as backed up; the others are.
        QVERIFY(!f.window.history.contains(QStringLiteral("Backed up version of ") + twice +
                                           QStringLiteral(" is superseded.")));
        const qsizetype report =
            f.window.history.indexOf(twice + QStringLiteral(" was not backed up."));
        QVERIFY(report >= 0);
        QCOMPARE(f.window.history.value(report + 1), BackUpSequence::NotBackedUpLine);
        QVERIFY(f.window.history.contains(QStringLiteral("Backed up version of ") + after +
                                          QStringLiteral(" is superseded.")));
    }

    // A copy that fails once and succeeds on the second attempt leaves an empty line
    // and counts as any other.
    void copyFailingOnceIsMadeAgain()
    {
        DriveFixture f;
        const QString source = f.dataFile(QStringLiteral("flaky.txt"), "made the second time");
        int attempts = 0;
        SequenceWorkerThread worker;
        DriveSequenceTransport transport(
            f.window, f.state, worker, [&attempts](TTernFileObject& file, QString* reason) {
                if (++attempts == 1)
                    return QStringLiteral("Could not copy file: ") + file.NamePart();
                return file.CopyToBackupFolder(reason);
            });
        SequenceRun run;
        run.maxBytes = 2e6;
        transport.open(run);
        QVERIFY(run.continueRun);
        TTernFileObject file;
        file.SetFileName(source);
        f.window.memo.clear();
        QVERIFY(transport.transfer(file, run));
        QCOMPARE(attempts, 2);
        QCOMPARE(f.window.memo, QStringList{QString()});
        QCOMPARE(contentOf(file.DestinationPath()), QByteArray("made the second time"));
        QCOMPARE(f.state.PendingLogLines.size(), 1);
        QVERIFY(f.state.PendingLogLines.first().startsWith(source + QLatin1Char(';')));
        QCOMPARE(run.filesSent, 1);
        QVERIFY(run.continueRun);
    }

    // The copy's folder cannot be made (a file stands where it would go): the run
    // stops with the designed lines and ends as failed.
    void uncreatableFolderStopsTheRun()
    {
        DriveFixture f;
        const QString a = f.dataFile(QStringLiteral("a.txt"), "a");
        const QString b = f.dataFile(QStringLiteral("b.txt"), "b");
        f.listFiles({a, b});
        f.env.writeFile(QStringLiteral("stick/USB.Stick/") + a.section(QLatin1Char('/'), 1, 1),
                        "a file, not a folder");

        f.sequence.RunBackUpSequence();
        QVERIFY(f.window.history.contains(
            QStringLiteral("Could not copy file as unknown error occured.")));
        QVERIFY(f.window.history.contains(QStringLiteral("Cannot create back up folder.")));
        QVERIFY(!f.window.history.contains(QStringLiteral("Backed up version of ") + b +
                                           QStringLiteral(" is superseded.")));
        QVERIFY(f.loggedPaths().isEmpty());
        QVERIFY(!TQuayRegistryObject().ReadBackUpSequenceSuccess());
    }
};

QTEST_MAIN(TestDriveSequence)
#include "tst_drivesequence.moc"
