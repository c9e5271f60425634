#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/QuayRegistryObject.h"
#include "sequence/BackUpSequence.h"
#include "sequence/HeadlessRun.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/LoggedPaths.h"
#include "support/RecordingSequenceWindow.h"
#include "support/TestEnvironment.h"
#include "transport/CDBurner.h"
#include "transport/DiskInfo.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

namespace {

// Runs the real xorriso, but first deletes the staged file whose name contains
// `lost`, as a burn that left a file behind would.
class LosingDiscWriter : public DiscWriter
{
public:
    explicit LosingDiscWriter(QString lost) : m_lost(std::move(lost)) {}
    Result run(const QStringList& arguments) override
    {
        if (arguments.contains(QStringLiteral("-commit"))) {
            QDirIterator it(TCDBurner::BurnArea(), QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                if (it.next().contains(m_lost))
                    QFile::remove(it.filePath());
        }
        return m_real.run(arguments);
    }

private:
    QString m_lost;
    XorrisoDiscWriter m_real;
};

// A burn that lasts until it is released.
class HeldDiscWriter : public DiscWriter
{
public:
    Result run(const QStringList& arguments) override
    {
        if (arguments.contains(QStringLiteral("-commit")))
            release.acquire();
        return {true, 0, QString()};
    }
    QSemaphore release;
};

QByteArray xorriso(const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("xorriso"), arguments);
    process.waitForFinished(60000);
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAllStandardOutput();
}

} // namespace

class CdSequenceTest : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TestEnvironment env{QStringLiteral("KestrelCD")};
        RecordingSequenceWindow window;
        SequenceState state;
        SequenceCompletion completion{window, state};
        BackUpSequence sequence{window, completion};
        QString image = env.path(QStringLiteral("discs/disc.iso"));

        Fixture()
        {
            const TQuayRegistryObject store;
            store.WriteCDBurnerDevice(QStringLiteral("stdio:") + image);
            store.WriteCloseTray(true);
            store.WriteMaxNumberOfBytesToBackedUp(1e9);
        }
        QString file(const QString& name, const QByteArray& content) const
        {
            return env.writeFile(QStringLiteral("data/") + name, content);
        }
        static void listFiles(const QStringList& files)
        {
            QFile list(TQuayRegistryObject().ReadFileOfFiles());
            QVERIFY(list.open(QIODevice::WriteOnly));
            for (const QString& path : files)
                list.write(path.toUtf8() + "\r\n");
        }
        // Runs one sequence to the end of its burn.
        void run()
        {
            window.history.clear();
            sequence.RunBackUpSequence();
            QTRY_VERIFY_WITH_TIMEOUT(!sequence.burning(), 60000);
        }
        int count(const QString& line) const
        {
            return static_cast<int>(window.history.count(line));
        }
        int verifiedFiles() const
        {
            int n = 0;
            for (const QString& line : window.history)
                n += line.startsWith(QStringLiteral("Verifying burning of file: ")) ? 1 : 0;
            return n;
        }
        static QStringList loggedPaths() { return ::loggedPaths(); }
    };

private Q_SLOTS:
    void burnedFilesAreOnTheDiscByteEqualAndPassTheirMd5Check()
    {
        Fixture f;
        const QByteArray big(1536000, 'k');
        const QString a = f.file(QStringLiteral("a report.txt"), big);
        const QString b = f.file(QStringLiteral("folder.d/.hidden"), "hidden bytes");
        f.listFiles({a, b});
        f.run();

        QCOMPARE(f.completion.lastOutcome(), SequenceCompletion::Outcome::Succeeded);
        QCOMPARE(f.count(QStringLiteral("- File burnt successfully")), 2);
        QVERIFY(f.window.history.contains(QStringLiteral("Number of files to burn: 2")));
        QVERIFY(f.window.history.contains(QStringLiteral("File burning verification complete.")));
        QCOMPARE(Fixture::loggedPaths(), (QStringList{a, b}));
        QCOMPARE(TQuayRegistryObject().ReadNumberOfFilesInLastSequence(), 2);
        // A completed burn empties the burn area.
        QCOMPARE(TCDBurner().BurnSize(), 0);

        int status = -1;
        xorriso({QStringLiteral("-md5"), QStringLiteral("on"), QStringLiteral("-indev"),
                 QStringLiteral("stdio:") + f.image, QStringLiteral("-check_md5_r"),
                 QStringLiteral("FAILURE"), QStringLiteral("/"), QStringLiteral("--")},
                &status);
        QCOMPARE(status, 0);
        const QString out = f.env.path(QStringLiteral("extracted"));
        xorriso({QStringLiteral("-osirrox"), QStringLiteral("on"), QStringLiteral("-indev"),
                 QStringLiteral("stdio:") + f.image, QStringLiteral("-extract"),
                 QStringLiteral("/"), out},
                &status);
        QCOMPARE(status, 0);
        QStringList extracted;
        QDirIterator it(out, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile copy(it.next());
            QVERIFY(copy.open(QIODevice::ReadOnly));
            const QByteArray content = copy.readAll();
            QVERIFY(content == big || content == "hidden bytes");
            extracted << QString::fromUtf8(content.left(12));
            // Staged under their source path with the file's number in it.
            QVERIFY2(it.filePath().contains(QStringLiteral(" (")), qPrintable(it.filePath()));
        }
        extracted.sort();
        QVERIFY(TCDBurner().CheckDiscMd5());
        // A damaged image fails the check.
        QFile disc(f.image);
        QVERIFY(disc.open(QIODevice::ReadWrite));
        const qint64 at = disc.readAll().indexOf(big.left(4096));
        QVERIFY(at > 0);
        disc.seek(at + 1000000);
        disc.write("damaged");
        disc.close();
        QVERIFY(!TCDBurner().CheckDiscMd5());
        QCOMPARE(extracted, (QStringList{QStringLiteral("hidden bytes"), QString(12, 'k')}));
    }

    // A file under 1 KiB counts 0 bytes, yet is burned.
    void aSecondSequenceVerifiesOnlyItsOwnFiles()
    {
        Fixture f;
        const QString a = f.file(QStringLiteral("a.bin"), QByteArray(1536000, 'a'));
        f.listFiles({a});
        f.run();
        // 1,536,000 bytes count as 1,500,000: 1.431 MB.
        QVERIFY(f.window.history.contains(QStringLiteral("Number of bytes to be burnt: 1.431 MB")));
        QCOMPARE(f.verifiedFiles(), 1);

        const QString b = f.file(QStringLiteral("b.bin"), "second");
        f.listFiles({a, b});
        f.run();
        QCOMPARE(f.completion.lastOutcome(), SequenceCompletion::Outcome::Succeeded);
        QCOMPARE(f.verifiedFiles(), 1);
        QCOMPARE(f.count(QStringLiteral("- File burnt successfully")), 1);
        // The second session appends to the disc: both files are on it.
        QCOMPARE(TCDBurner().DiscFiles().size(), 2);
    }

    void aMediumTooSmallGivesTheMediaFullLines()
    {
        Fixture f;
        TQuayRegistryObject().WriteMediaCapacity(1);
        f.listFiles({f.file(QStringLiteral("large.bin"), QByteArray(2 * 1048576, 'x'))});
        f.run();
        QCOMPARE(f.completion.lastOutcome(), SequenceCompletion::Outcome::Failed);
        QVERIFY(f.window.history.contains(QStringLiteral("Free space on CD: 1048576 bytes.")));
        QVERIFY(f.window.history.contains(QStringLiteral(
            "Number of bytes to back up has reached the maximum number of free bytes available "
            "on the media or the maximum number of bytes to backup specified by the User.  The "
            "back up data will now be burned to the media.")));
        QVERIFY(
            f.window.history.contains(QStringLiteral("Media is full.  Please change your disk.")));
        QCOMPARE(TQuayRegistryObject().ReadSequenceMessage(),
                 QStringLiteral("Last back up sequence failed to complete.  Your media is full.\n\n"
                                "Media is full.  Please change your disk."));
        QVERIFY(!QFile::exists(f.image));
    }

    void aStagedFileMissingAfterTheBurnFailsTheSequence()
    {
        Fixture f;
        f.sequence.setDiscWriter(std::make_shared<LosingDiscWriter>(QStringLiteral("lost")));
        const QString kept = f.file(QStringLiteral("kept.txt"), "kept");
        const QString lost = f.file(QStringLiteral("lost.txt"), "lost");
        f.listFiles({kept, lost});
        f.run();
        QCOMPARE(f.completion.lastOutcome(), SequenceCompletion::Outcome::Failed);
        QCOMPARE(f.count(QStringLiteral("- File not burnt successfully")), 1);
        QCOMPARE(f.count(QStringLiteral("- File burnt successfully")), 1);
        QCOMPARE(Fixture::loggedPaths(), QStringList{kept});
    }

    void withTheTrayLeftOpenTheEmptiedStagingCounts()
    {
        Fixture f;
        TQuayRegistryObject().WriteCloseTray(false);
        const QString a = f.file(QStringLiteral("a.txt"), "a");
        f.listFiles({a});
        f.run();
        QCOMPARE(f.completion.lastOutcome(), SequenceCompletion::Outcome::Succeeded);
        QCOMPARE(f.verifiedFiles(), 0);
        QCOMPARE(Fixture::loggedPaths(), QStringList{a});
    }

    void aBurnerThatIsNotThereIsNotEquipped_data()
    {
        QTest::addColumn<QString>("device");
        QTest::newRow("unset") << QString();
        QTest::newRow("image in a missing folder") << QStringLiteral("stdio:/nonexistent/x/d.iso");
        QTest::newRow("no such drive") << QStringLiteral("/dev/kestrel-no-such-drive");
    }
    void aBurnerThatIsNotThereIsNotEquipped()
    {
        QFETCH(QString, device);
        Fixture f;
        TQuayRegistryObject().WriteCDBurnerDevice(device);
        f.listFiles({f.file(QStringLiteral("a.txt"), "a")});
        f.run();
        QCOMPARE(f.completion.lastOutcome(), SequenceCompletion::Outcome::Failed);
        QVERIFY(f.window.history.contains(QStringLiteral(
            "Could not back up as either Window XP is not installed or suitable burner is not "
            "present.")));
        // The line after it says where the burner is chosen.
        const qsizetype at = f.window.history.indexOf(QStringLiteral("No CD Burner was found"));
        QVERIFY(at >= 0);
        QCOMPARE(f.window.history.value(at + 1),
                 QStringLiteral(
                     "Choose the burner or an image file in Back Up Drive on the Drive page."));
        QVERIFY(TCDBurner().BurnerDrive().isEmpty());
    }

    void aBusyBurnerRefusesASecondBurnAndKeepsItsStaging()
    {
        Fixture f;
        const auto writer = std::make_shared<HeldDiscWriter>();
        TCDBurner burner(writer);
        QVERIFY(burner.Equipped());
        QVERIFY(burner.ClearFiles());
        const QString staged = f.env.writeFile(QStringLiteral("cd-area-probe"), "x");
        QVERIFY(QFile::copy(staged, TCDBurner::BurnArea() + QStringLiteral("staged")));
        QSignalSpy done(&burner, &TCDBurner::OnBurnDone);
        burner.StartBurn();
        QVERIFY(burner.IsBurning());
        burner.StartBurn();
        QCOMPARE(done.count(), 1);
        QCOMPARE(done.at(0).at(0).toInt(), -1);
        QVERIFY(!burner.ClearFiles());
        QCOMPARE(burner.LastError(), QStringLiteral("Cannot delete staging files while burning!"));
        QCOMPARE(burner.BurnSize(), 1);
        writer->release.release();
        QTRY_COMPARE(done.count(), 2);
        QCOMPARE(done.at(1).at(0).toInt(), 0);
        QVERIFY(!burner.IsBurning());
        QCOMPARE(burner.BurnSize(), 0);
    }

    void freeBytesFollowTheCapacityIn64Bits()
    {
        QCOMPARE(TDiskInfo::freeBytes(650, 0), Q_INT64_C(681574400));
        QCOMPARE(TDiskInfo::freeBytes(650, 100000000), Q_INT64_C(571574400));
        QCOMPARE(TDiskInfo::freeBytes(4700, 0), Q_INT64_C(4928307200));
    }

    void theHeadlessRunEndsWithTheBurn()
    {
        Fixture f;
        const QString a = f.file(QStringLiteral("a.txt"), "a");
        f.listFiles({a});
        QString printed;
        QTextStream out(&printed);
        HeadlessRun run(out, false);
        QCOMPARE(run.exec(), int(HeadlessRun::Succeeded));
        QVERIFY(printed.contains(QStringLiteral("- File burnt successfully")));
        QCOMPARE(Fixture::loggedPaths(), QStringList{a});

        TQuayRegistryObject().WriteCDBurnerDevice(QString());
        QCOMPARE(HeadlessRun(out, true).exec(), int(HeadlessRun::Failed));
    }
};

QTEST_GUILESS_MAIN(CdSequenceTest)
#include "tst_cdsequence.moc"
