#include "backupdata/TernFileObject.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "restore/SavedArchive.h"
#include "restore/SavedArchiveStream.h"
#include "support/FakeMailboxReader.h"
#include "support/TestEnvironment.h"
#include "transport/Pbkdf2Sha1.h"
#include "transport/WinZipAes.h"
#include "transport/ZipMaster.h"
#include "transport/ZipMessages.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtEndian>
#include <QtTest>

#include <openssl/evp.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

// Archives made by the zip component, checked with two independent readers (7z and
// bsdtar) rather than with the library that wrote them.
class TestZipMaster : public QObject
{
    Q_OBJECT

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray output;
    };

    static Run run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        Run result;
        if (!process.waitForFinished(300000))
            return result;
        result.exitCode = process.exitCode();
        result.output = process.readAll();
        return result;
    }

    // Debian's 7zip package installs the reader as 7zz; other systems call it 7z.
    static QString sevenZip()
    {
        const QString modern = QStandardPaths::findExecutable(QStringLiteral("7zz"));
        return modern.isEmpty() ? QStringLiteral("7z") : modern;
    }

    // "Key = value" lines of the one entry of an archive, from 7z's technical listing.
    static QMap<QString, QString> entryProperties(const QString& archive)
    {
        const Run listing = run(sevenZip(), {QStringLiteral("l"), QStringLiteral("-slt"),
                                             QStringLiteral("-p-"), archive});
        QMap<QString, QString> properties;
        const QList<QByteArray> lines = listing.output.split('\n');
        const qsizetype entries = lines.indexOf(QByteArray("----------"));
        for (qsizetype i = entries + 1; entries >= 0 && i < lines.size(); ++i) {
            const QString line = QString::fromUtf8(lines.at(i)).trimmed();
            const qsizetype equals = line.indexOf(QStringLiteral(" = "));
            if (equals > 0)
                properties.insert(line.left(equals), line.mid(equals + 3));
        }
        return properties;
    }

    static bool testArchive(const QString& archive, const QString& password)
    {
        return run(sevenZip(), {QStringLiteral("t"), QStringLiteral("-p") + password, archive})
                   .exitCode == 0;
    }

    static QByteArray extractWithBsdtar(const QString& archive, const QString& password = QString())
    {
        QStringList arguments{QStringLiteral("-xOf"), archive};
        if (!password.isEmpty())
            arguments << QStringLiteral("--passphrase") << password;
        const Run extraction = run(QStringLiteral("bsdtar"), arguments);
        return extraction.exitCode == 0 ? extraction.output : QByteArray("bsdtar failed");
    }

    static QByteArray sampleContent()
    {
        QByteArray content;
        for (int i = 0; i < 200000; ++i)
            content += QByteArray::number(i % 977) + ' ';
        return content;
    }

    static QByteArray randomContent(qsizetype size)
    {
        QByteArray content(size, Qt::Uninitialized);
        QRandomGenerator random(20261211);
        for (char& byte : content)
            byte = static_cast<char>(random.bounded(256));
        return content;
    }

    static quint16 read16(const QByteArray& bytes, qsizetype at)
    {
        return quint16(quint8(bytes.at(at)) | (quint8(bytes.at(at + 1)) << 8));
    }

    // A zip component set up the way the main window sets it up.
    static void prepare(TZipMaster& zip)
    {
        zip.SetAddCompLevel(9);
        zip.SetAddStoreSuffixes(TZipMaster::defaultStoreSuffixes());
        zip.LoadZipEngine();
        zip.LoadUnzipEngine();
    }

    struct Streamed
    {
        // "done", "wrong password" or the reason the archive was refused.
        QString outcome;
        QByteArray content;
        SavedArchive::Entry entry;
    };

    // An archive read as it arrives, in chunks of the given size.
    static Streamed readStreamed(const QByteArray& archive, const QString& password,
                                 qsizetype chunk)
    {
        Streamed result;
        SavedArchiveStream stream(
            password, [&](const char* data, qsizetype size) { result.content.append(data, size); });
        try {
            for (qsizetype at = 0; at < archive.size(); at += chunk)
                stream.feed(archive.constData() + at, qMin(chunk, archive.size() - at));
            result.outcome = stream.finish() == SavedArchive::Extracted::Done
                                 ? QStringLiteral("done")
                                 : QStringLiteral("wrong password");
        } catch (const KestrelError& error) {
            result.outcome = error.message();
        }
        result.entry = stream.entry();
        return result;
    }

    // Byte by byte, odd pieces, network-sized pieces and all at once (byte by byte
    // only for small archives, to keep the test quick).
    static QList<qsizetype> chunkSizes(qsizetype archiveSize)
    {
        QList<qsizetype> sizes{7, 65536, qMax<qsizetype>(archiveSize, 1)};
        if (archiveSize <= 512 * 1024)
            sizes.prepend(1);
        return sizes;
    }

    static QByteArray zipMasterArchive(const QByteArray& content, const QString& password)
    {
        TestEnvironment env;
        TZipMaster zip;
        prepare(zip);
        if (!password.isEmpty()) {
            zip.SetAddOptions(TZipMaster::AddEncrypt);
            zip.SetPassword(password);
        }
        zip.SetZipFileName(env.root() + QStringLiteral("/ours.zip"));
        zip.FSpecArgs() << env.writeFile(QStringLiteral("in/notes.txt"), content);
        zip.AddFiles();
        QFile file(zip.ZipFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // 7-Zip's archive of the content; to stdout it must put the sizes after the data.
    static QByteArray sevenZipArchive(const QByteArray& content, const QStringList& options,
                                      bool toPipe = false)
    {
        TestEnvironment env;
        const QString source = env.writeFile(QStringLiteral("notes.txt"), content);
        const QString archive = env.root() + QStringLiteral("/seven.zip");
        QStringList arguments{QStringLiteral("a"), QStringLiteral("-tzip")};
        arguments << options;
        if (toPipe)
            arguments << QStringLiteral("-so");
        const Run made = run(sevenZip(), arguments << archive << source);
        if (toPipe)
            return made.output;
        QFile file(archive);
        return made.exitCode == 0 && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static qsizetype entryDataAt(const QByteArray& archive)
    {
        return 30 + read16(archive, 26) + read16(archive, 28);
    }

    static QByteArray withCrc(QByteArray archive, quint32 crc, bool local, bool central)
    {
        if (local)
            qToLittleEndian(crc, archive.data() + 14);
        if (central)
            qToLittleEndian(crc, archive.data() + archive.lastIndexOf("PK\x01\x02") + 16);
        return archive;
    }

private Q_SLOTS:
    void soloArchiveHoldsOneEntryWithoutFolders()
    {
        TestEnvironment env;
        const QByteArray content = sampleContent();
        const QString source = env.writeFile(QStringLiteral("Docs/report.txt"), content);
        const QString cwd = QDir::currentPath();
        TZipMaster zip;
        prepare(zip);
        TTernFileObject file;
        file.SetFileName(source);
        file.CreateZip(zip);

        const QString zipFolder = TQuayRegistryObject().ReadZipDirectory();
        const QString archive = zipFolder + QStringLiteral("/report-txt.zip");
        QCOMPARE(QDir::currentPath(), cwd);
        QCOMPARE(zip.SuccessCount(), 1);
        QVERIFY(zip.FSpecArgs().isEmpty());
        QCOMPARE(zip.ArchiveSize(), QFileInfo(archive).size());
        QCOMPARE(QDir(zipFolder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("report-txt.zip")});

        const auto entry = entryProperties(archive);
        QCOMPARE(entry.value(QStringLiteral("Path")), QStringLiteral("report.txt"));
        QCOMPARE(entry.value(QStringLiteral("Encrypted")), QStringLiteral("-"));
        QVERIFY(entry.value(QStringLiteral("Method")).startsWith(QStringLiteral("Deflate")));
        QCOMPARE(extractWithBsdtar(archive), content);
        QCOMPARE(QFileInfo(archive).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
        // Only the sequence counts bytes, and only those the server accepted.
        QCOMPARE(TQuayRegistryObject().ReadNumberOfBytesBackedUp(), 0.0);
    }

    void nameAtTheFileNameLimitStillGivesAnArchive()
    {
        TestEnvironment env;
        const QString name = QString(251, QLatin1Char('n')) + QStringLiteral(".txt");
        const QString source = env.writeFile(QStringLiteral("Docs/") + name, "long");
        TZipMaster zip;
        prepare(zip);
        TTernFileObject file;
        file.SetFileName(source);
        file.CreateZip(zip);
        const QString archiveName = QFileInfo(zip.ZipFileName()).fileName();
        QCOMPARE(archiveName.size(), 255);
        QVERIFY(archiveName.endsWith(QStringLiteral("n-txt.zip")));
        QCOMPARE(entryProperties(zip.ZipFileName()).value(QStringLiteral("Path")), name);
    }

    void clientArchiveName()
    {
        TestEnvironment env(QStringLiteral("KestrelClient"));
        const QString source = env.writeFile(QStringLiteral("Docs/report.final.txt"), "x");
        TZipMaster zip;
        prepare(zip);
        TTernFileObject file;
        file.SetFileName(source);
        file.CreateZip(zip);
        const QString expected =
            TQuayRegistryObject().ReadUserID() + QStringLiteral("#0#report.zip");
        QCOMPARE(file.ZipArchiveName(), expected);
        QVERIFY(QFileInfo::exists(TQuayRegistryObject().ReadZipDirectory() + QLatin1Char('/') +
                                  expected));
    }

    void passwordEncryptsWithAes()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        const QByteArray content = sampleContent();
        const QString source = env.writeFile(QStringLiteral("Docs/secret.doc"), content);
        const QString password = QStringLiteral("correct horse; battery");
        store.WriteUserZipPassword(password);
        TZipMaster zip;
        prepare(zip);
        TTernFileObject file;
        file.SetFileName(source);
        file.CreateZip(zip);
        const QString archive = zip.ZipFileName();
        const auto entry = entryProperties(archive);
        QCOMPARE(entry.value(QStringLiteral("Encrypted")), QStringLiteral("+"));
        QVERIFY(entry.value(QStringLiteral("Method")).contains(QStringLiteral("AES-256")));
        QVERIFY(testArchive(archive, password));
        QVERIFY(!testArchive(archive, QStringLiteral("wrong")));
        QCOMPARE(extractWithBsdtar(archive, password), content);

        // The next archive of the same run, with the password cleared, is plain.
        store.WriteUserZipPassword(QString());
        file.CreateZip(zip);
        QCOMPARE(entryProperties(zip.ZipFileName()).value(QStringLiteral("Encrypted")),
                 QStringLiteral("-"));
        QCOMPARE(extractWithBsdtar(zip.ZipFileName()), content);
    }

    void modificationTimeKeptToTheSecond_data()
    {
        QTest::addColumn<QDateTime>("modified");
        QTest::addColumn<QString>("password");
        QTest::newRow("odd second") << QDateTime(QDate(2026, 5, 5), QTime(10, 11, 13)) << QString();
        QTest::newRow("odd second, encrypted")
            << QDateTime(QDate(2026, 5, 5), QTime(10, 11, 13)) << QStringLiteral("pw;1");
        QTest::newRow("before 1980") << QDateTime(QDate(1971, 3, 4), QTime(5, 6, 7)) << QString();
        QTest::newRow("before 1980, encrypted")
            << QDateTime(QDate(1971, 3, 4), QTime(5, 6, 7)) << QStringLiteral("pw;1");
    }

    // The DOS date has two-second steps and starts in 1980: the extended timestamp
    // beside it carries the exact second, for other programs and for our own restore.
    void modificationTimeKeptToTheSecond()
    {
        QFETCH(QDateTime, modified);
        QFETCH(QString, password);
        TestEnvironment env;
        TQuayRegistryObject().WriteUserZipPassword(password);
        const QString source = env.writeFile(QStringLiteral("Docs/dated.txt"), sampleContent());
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        TZipMaster zip;
        prepare(zip);
        TTernFileObject file;
        file.SetFileName(source);
        file.CreateZip(zip);
        const QString archive = zip.ZipFileName();
        QCOMPARE(entryProperties(archive).value(QStringLiteral("Modified")),
                 modified.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        const SavedArchive saved(archive);
        QCOMPARE(saved.entry().modified, modified);
    }

    void longPasswordUsesFirst255Characters()
    {
        TestEnvironment env;
        const QByteArray content("long password content");
        const QString source = env.writeFile(QStringLiteral("Docs/secret.doc"), content);
        QString password;
        for (int i = 0; i < 300; ++i)
            password += QChar(u'a' + i % 26);
        TQuayRegistryObject().WriteUserZipPassword(password);
        TZipMaster zip;
        prepare(zip);
        TTernFileObject file;
        file.SetFileName(source);
        file.CreateZip(zip);
        QCOMPARE(zip.Password(), password.left(255));
        // Checked with bsdtar: 7-Zip refuses AES passwords longer than 99 bytes.
        QCOMPARE(extractWithBsdtar(zip.ZipFileName(), password.left(255)), content);
        QVERIFY(extractWithBsdtar(zip.ZipFileName(), password) != content);
    }

    void compressedSuffixesAreStored_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("stored");
        QTest::newRow("zip") << "old.zip" << true;
        QTest::newRow("gz upper case") << "log.GZ" << true;
        QTest::newRow("jar") << "app.jar" << true;
        QTest::newRow("txt") << "notes.txt" << false;
        QTest::newRow("exe") << "setup.exe" << false;
    }
    void compressedSuffixesAreStored()
    {
        QFETCH(QString, name);
        QFETCH(bool, stored);
        TestEnvironment env;
        const QString source = env.writeFile(QStringLiteral("in/") + name, sampleContent());
        TZipMaster zip;
        prepare(zip);
        zip.SetZipFileName(env.root() + QStringLiteral("/out.zip"));
        zip.FSpecArgs() << source;
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 1);
        const QString method = entryProperties(zip.ZipFileName()).value(QStringLiteral("Method"));
        QCOMPARE(method == QStringLiteral("Store"), stored);
        QCOMPARE(zip.isStored(source), stored);
    }

    void failuresLeaveNoArchiveAndNameTheCause()
    {
        TestEnvironment env;
        TZipMaster zip;
        prepare(zip);
        zip.AddFiles();
        QCOMPARE(zip.LastErrorMessage(), QStringLiteral("Error - no files to zip!"));
        zip.FSpecArgs() << env.writeFile(QStringLiteral("a.txt"), "a");
        zip.AddFiles();
        QCOMPARE(zip.LastErrorCode(), 10102);

        const QString archive = env.root() + QStringLiteral("/zips/missing-txt.zip");
        QDir().mkpath(env.root() + QStringLiteral("/zips"));
        zip.SetZipFileName(archive);
        const QString missing = env.root() + QStringLiteral("/missing.txt");
        zip.FSpecArgs() << missing;
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 0);
        QCOMPARE(zip.ArchiveSize(), qint64(0));
        QCOMPARE(zip.LastErrorCode(), 11001);
        QCOMPARE(zip.LastErrorMessage(), QStringLiteral("Input file does not exist: ") + missing);
        QVERIFY(QDir(env.root() + QStringLiteral("/zips"))
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

        zip.SetAddOptions(TZipMaster::AddEncrypt);
        zip.SetPassword(QString());
        zip.FSpecArgs() << env.root() + QStringLiteral("/a.txt");
        zip.AddFiles();
        QCOMPARE(zip.LastErrorMessage(),
                 QStringLiteral("Unattended action not possible without a password"));

        zip.ReportZipMessage(12345);
        QCOMPARE(zip.LastErrorMessage(),
                 QStringLiteral("ZipMsgXX.res is probably not linked to the "
                                "executable\nMissing String ID is: 12345"));
    }

    void failureCausesReadAsWords()
    {
        TestEnvironment env;
        TZipMaster zip;
        prepare(zip);
        const QString source = env.writeFile(QStringLiteral("a.txt"), "a");
        const QString missingFolder = env.root() + QStringLiteral("/no-such-folder");
        zip.SetZipFileName(missingFolder + QStringLiteral("/a-txt.zip"));
        zip.FSpecArgs() << source;
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 0);
        QCOMPARE(zip.LastErrorMessage(),
                 QStringLiteral("Zip file could not be opened: the folder ") + missingFolder +
                     QStringLiteral(" does not exist"));

        // The engine's own write error, while it packs: the archive outgrows the largest
        // file the system lets this process write.
        QByteArray noise(1024 * 1024, Qt::Uninitialized);
        for (char& byte : noise)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        const QString large = env.writeFile(QStringLiteral("large.bin"), noise);
        const QString out = env.root() + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(out));
        zip.SetZipFileName(out + QStringLiteral("/large-bin.zip"));
        zip.FSpecArgs() << large;
        rlimit previous{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        zip.AddFiles();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(zip.SuccessCount(), 0);
        QCOMPARE(zip.LastErrorMessage(),
                 QStringLiteral("Zip file could not be opened: the archive is larger than the "
                                "disk takes"));
        QVERIFY(QDir(out).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

        // What the system says while the file is read or the archive written.
        QCOMPARE(fileFailureCause(ENOSPC, false, source, out), QStringLiteral("the disk is full"));
        QCOMPARE(fileFailureCause(EACCES, true, source, out),
                 QStringLiteral("permission denied reading ") + source);
        QCOMPARE(fileFailureCause(EACCES, false, source, out),
                 QStringLiteral("permission denied writing to ") + out);
    }

    void createZipReportsFailureAsError()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        TZipMaster zip;
        prepare(zip);
        TTernFileObject file;
        file.SetFileName(env.root() + QStringLiteral("/gone.txt"));
        try {
            file.CreateZip(zip);
            QFAIL("no error for a missing file");
        } catch (const KestrelError& error) {
            QVERIFY(error.message().startsWith(QStringLiteral("Input file does not exist")));
        }
        QCOMPARE(store.ReadNumberOfBytesBackedUp(), 0.0);

        // The zip folder is created one level deep only.
        const QString cwd = QDir::currentPath();
        store.WriteZipDirectory(env.root() + QStringLiteral("/no/parent/Zip"));
        file.SetFileName(env.writeFile(QStringLiteral("b.txt"), "b"));
        QVERIFY_THROWS_EXCEPTION(KestrelError, file.CreateZip(zip));
        QVERIFY(!QFileInfo::exists(env.root() + QStringLiteral("/no")));
        QCOMPARE(QDir::currentPath(), cwd);
    }

    void leftoverArchiveIsReplaced()
    {
        TestEnvironment env;
        const QString archive =
            env.writeFile(QStringLiteral("out/a-txt.zip"), "not an archive at all");
        TZipMaster zip;
        prepare(zip);
        zip.SetZipFileName(archive);
        QCOMPARE(zip.LastErrorCode(), 11011);
        zip.FSpecArgs() << env.writeFile(QStringLiteral("a.txt"), "fresh");
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 1);
        QCOMPARE(extractWithBsdtar(archive), QByteArray("fresh"));
        QCOMPARE(zip.ArchiveSize(), QFileInfo(archive).size());

        // A failed add leaves the complete archive of that name as it was.
        zip.SetZipFileName(archive);
        zip.FSpecArgs() << env.root() + QStringLiteral("/vanished.txt");
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 0);
        QCOMPARE(extractWithBsdtar(archive), QByteArray("fresh"));
        QCOMPARE(QDir(env.root() + QStringLiteral("/out")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("a-txt.zip")});
    }

    void scratchArchivesOfKilledProcessesAreRemoved()
    {
        TestEnvironment env;
        // Process ids above the kernel's limit belong to no process; our own scratch
        // file and another live process's stay.
        const QString dead = env.writeFile(QStringLiteral("out/.partial-4194999.zip.part"), "x");
        const QString deadTemp =
            env.writeFile(QStringLiteral("out/.partial-4194998.zip.part.AbC123"), "x");
        const QString live = env.writeFile(QStringLiteral("out/.partial-1.zip.part"), "x");
        TZipMaster zip;
        prepare(zip);
        const QString archive = env.root() + QStringLiteral("/out/b-txt.zip");
        zip.SetZipFileName(archive);
        zip.FSpecArgs() << env.writeFile(QStringLiteral("b.txt"), "b");
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 1);
        QVERIFY(!QFile::exists(dead));
        QVERIFY(!QFile::exists(deadTemp));
        QVERIFY(QFile::exists(live));
        QCOMPARE(QFileInfo(archive).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
    }

    void everyReaderReadsWhatIsWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("password");
        // Sizes from this value up are zip64 (0: from 4 GiB).
        QTest::addColumn<qint64>("zip64From");
        QTest::addColumn<QString>("method");
        const QByteArray text = sampleContent() + sampleContent();
        const QByteArray noise = randomContent(1536 * 1024);
        const QString password = QStringLiteral("pässwort; 1");
        QTest::newRow("empty") << "empty.txt" << QByteArray() << password << qint64(0) << "Store";
        QTest::newRow("small text, UTF-8 name")
            << "notiz-ä.txt" << QByteArray("a line of text\n").repeated(40) << password << qint64(0)
            << "Deflate";
        QTest::newRow("text over 1 MiB") << "log.txt" << text << password << qint64(0) << "Deflate";
        QTest::newRow("random data is stored")
            << "data.bin" << noise << password << qint64(0) << "Store";
        QTest::newRow("stored extension")
            << "photo.png" << text << password << qint64(0) << "Store";
        QTest::newRow("no password") << "log.txt" << text << QString() << qint64(0) << "Deflate";
        QTest::newRow("no password, random")
            << "data.bin" << noise << QString() << qint64(0) << "Store";
        QTest::newRow("zip64") << "log.txt" << text << password << qint64(1000) << "Deflate";
        // Room for zip64 in the local header, sizes that stay below it.
        QTest::newRow("zip64 room only, no password")
            << "data.bin" << noise << QString() << qint64(noise.size() + 2000) << "Store";
        QTest::newRow("zip64, no password, random")
            << "data.bin" << noise << QString() << qint64(1000) << "Store";
    }

    // Archives are checked by 7-Zip, bsdtar and our restore (which reads with libzip),
    // never by the code that wrote them.
    void everyReaderReadsWhatIsWritten()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, password);
        QFETCH(qint64, zip64From);
        QFETCH(QString, method);
        TestEnvironment env;
        const QString source = env.writeFile(QStringLiteral("in/") + name, content);
        QVERIFY(
            QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        TZipMaster zip;
        prepare(zip);
        if (!password.isEmpty()) {
            zip.SetAddOptions(TZipMaster::AddEncrypt);
            zip.SetPassword(password);
        }
        zip.setZip64Threshold(quint64(zip64From));
        QList<double> progress;
        zip.SetProgressHandler([&](double done) { progress.append(done); });
        zip.SetZipFileName(env.root() + QStringLiteral("/out.zip"));
        zip.FSpecArgs() << source;
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 1);
        const QString archive = zip.ZipFileName();
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), 1.0);
        QVERIFY(progress.size() <= 102);

        const auto entry = entryProperties(archive);
        QCOMPARE(entry.value(QStringLiteral("Path")), name);
        QCOMPARE(entry.value(QStringLiteral("Size")), QString::number(content.size()));
        QVERIFY2(entry.value(QStringLiteral("Method")).contains(method),
                 qPrintable(entry.value(QStringLiteral("Method"))));
        QCOMPARE(entry.value(QStringLiteral("Encrypted")),
                 password.isEmpty() ? QStringLiteral("-") : QStringLiteral("+"));
        QVERIFY(testArchive(archive, password));
        if (!password.isEmpty())
            QVERIFY(!testArchive(archive, QStringLiteral("wrong")));
        QCOMPARE(extractWithBsdtar(archive, password), content);

        QFile raw(archive);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll().contains(QByteArray("PK\x06\x06", 4)),
                 zip64From > 0 && zip64From < raw.size());

        SavedArchive saved(archive);
        QCOMPARE(saved.entry().aesEncrypted, !password.isEmpty());
        QCOMPARE(saved.entry().permissions, std::optional<int>(0640));
        QBuffer restored;
        QVERIFY(restored.open(QIODevice::WriteOnly));
        QCOMPARE(saved.extract(password, restored), SavedArchive::Extracted::Done);
        QCOMPARE(restored.data(), content);

        QVERIFY(raw.seek(0));
        const QByteArray bytes = raw.readAll();
        for (const qsizetype chunk : chunkSizes(bytes.size())) {
            const Streamed streamed = readStreamed(bytes, password, chunk);
            QCOMPARE(streamed.outcome, QStringLiteral("done"));
            QVERIFY(streamed.content == content);
            QCOMPARE(streamed.entry.name, saved.entry().name);
            QCOMPARE(streamed.entry.size, saved.entry().size);
            QCOMPARE(streamed.entry.modified, saved.entry().modified);
            QCOMPARE(streamed.entry.exactTime, saved.entry().exactTime);
            QCOMPARE(streamed.entry.aesEncrypted, saved.entry().aesEncrypted);
            QCOMPARE(streamed.entry.permissions, saved.entry().permissions);
        }
    }

    void streamedReadKeepsEveryCheck_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QString>("password");
        // "done" (with the content), "wrong password" or a part of the refusal.
        QTest::addColumn<QString>("outcome");
        const QString password = QStringLiteral("pässwort; 1");
        const QByteArray content = sampleContent();
        const QByteArray ours = zipMasterArchive(content, password);
        const QByteArray plain = zipMasterArchive(content, QString());
        const qsizetype dataAt = entryDataAt(ours);
        QByteArray tampered = ours;
        tampered[dataAt + WinZipAes::SaltSize + WinZipAes::VerifierSize + 5] ^= 0x10;
        const quint32 crc = qFromLittleEndian<quint32>(ours.constData() + 14);
        const QByteArray zeros(5 * 1024 * 1024, '\0');
        const QStringList aes{QStringLiteral("-mem=AES256"), QStringLiteral("-psieben; Zip")};

        QTest::newRow("ours") << ours << password << "done";
        QTest::newRow("ours, wrong password") << ours << "Pässwort; 1"
                                              << "wrong password";
        QTest::newRow("ours, no password given") << ours << QString() << "wrong password";
        QTest::newRow("ours, ciphertext changed")
            << tampered << password << "authentication code does not match";
        QTest::newRow("ours, CRC changed")
            << withCrc(ours, crc ^ 1, true, true) << password << "CRC check failed";
        QTest::newRow("ours without password, CRC changed")
            << withCrc(plain, ~qFromLittleEndian<quint32>(plain.constData() + 14), true, true)
            << QString() << "CRC check failed";
        QTest::newRow("directory disagrees with the entry")
            << withCrc(ours, crc ^ 1, false, true) << password << "directory does not match";
        QTest::newRow("cut short in the data")
            << ours.left(dataAt + 100) << password << "cut short";
        QTest::newRow("cut short in the directory") << ours.chopped(5) << password << "damaged";
        QTest::newRow("bytes after the end") << ours + "x" << password << "bytes after its end";
        QTest::newRow("not encrypted although a password is set")
            << plain << password << SavedArchive::notProtectedMessage();
        QTest::newRow("7-Zip AES") << sevenZipArchive(content, aes) << "sieben; Zip"
                                   << "done";
        QTest::newRow("7-Zip AES, wrong password") << sevenZipArchive(content, aes) << "sieben; zip"
                                                   << "wrong password";
        QTest::newRow("7-Zip without password")
            << sevenZipArchive(content, {}) << QString() << "done";
        QTest::newRow("sizes after the data")
            << sevenZipArchive(content, {}, true) << QString() << "sizes after its data";
        QTest::newRow("two entries")
            << FakeMailboxReader::twoEntryArchive() << QString() << "more than one entry";
        QTest::newRow("name climbs out") << FakeMailboxReader::archive(QStringLiteral("../x"), "x")
                                         << QString() << "not a plain file name";
        QTest::newRow("link") << FakeMailboxReader::symlinkArchive(QStringLiteral("l"), "/etc")
                              << QString() << "is a link";
        QTest::newRow("declares fewer bytes than it holds")
            << FakeMailboxReader::withDeclaredSize(
                   FakeMailboxReader::archive(QStringLiteral("z"), zeros), 100)
            << QString() << "larger than it declares";
        QTest::newRow("claims far more than its data could give")
            << FakeMailboxReader::withDeclaredSize(
                   FakeMailboxReader::archive(QStringLiteral("z"), zeros), 0xF0000000u)
            << QString() << "zip bomb";
    }

    // The same outcome whatever the pieces the archive arrives in; a refused archive
    // may have handed bytes to the sink, but never more than it declares.
    void streamedReadKeepsEveryCheck()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QString, password);
        QFETCH(QString, outcome);
        QVERIFY(!archive.isEmpty());
        for (const qsizetype chunk : chunkSizes(archive.size())) {
            const Streamed streamed = readStreamed(archive, password, chunk);
            QVERIFY2(streamed.outcome.contains(outcome),
                     qPrintable(QString::number(chunk) + QStringLiteral(": ") + streamed.outcome));
            if (outcome == QLatin1String("done"))
                QVERIFY(streamed.content == sampleContent());
            QVERIFY(streamed.content.size() <= qMax<qint64>(streamed.entry.size, 0));
        }
    }

    // The key derivation against RFC 6070's vectors and OpenSSL's own, across the
    // HMAC key's block boundary.
    void keyDerivationMatchesOpenSsl_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<int>("iterations");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("rfc6070 1")
            << QByteArray("password") << QByteArray("salt") << 1 << 20
            << QByteArray::fromHex("0c60c80f961f0e71f3a9b524af6012062fe037a6");
        QTest::newRow("rfc6070 4096")
            << QByteArray("passwordPASSWORDpassword")
            << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096 << 25
            << QByteArray::fromHex("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
        for (const int passwordLength : {0, 63, 64, 65, 200})
            QTest::addRow("password of %d, AES-256 keys", passwordLength)
                << QByteArray(passwordLength, 'k') << QByteArray(16, 's') << 1000 << 66
                << QByteArray();
    }
    void keyDerivationMatchesOpenSsl()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(int, iterations);
        QFETCH(int, length);
        QFETCH(QByteArray, expected);
        if (expected.isEmpty()) {
            expected.resize(length);
            QVERIFY(PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()),
                                           reinterpret_cast<const unsigned char*>(salt.constData()),
                                           int(salt.size()), iterations, length,
                                           reinterpret_cast<unsigned char*>(expected.data())) == 1);
        }
        QCOMPARE(pbkdf2HmacSha1(password, salt, iterations, length).toHex(), expected.toHex());
    }

    void winZipAesReadsWhatSevenZipWrote_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("tamper");
        QTest::addColumn<bool>("verifierMatches");
        QTest::addColumn<bool>("authenticates");
        QTest::newRow("right password") << "sieben; Zip" << false << true << true;
        QTest::newRow("wrong password") << "sieben; zip" << false << false << false;
        QTest::newRow("tampered ciphertext") << "sieben; Zip" << true << true << false;
    }

    void winZipAesReadsWhatSevenZipWrote()
    {
        QFETCH(QString, password);
        QFETCH(bool, tamper);
        QFETCH(bool, verifierMatches);
        QFETCH(bool, authenticates);
        TestEnvironment env;
        const QByteArray content = sampleContent();
        const QString source = env.writeFile(QStringLiteral("plain.txt"), content);
        const QString archive = env.root() + QStringLiteral("/seven.zip");
        QCOMPARE(run(sevenZip(),
                     {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mem=AES256"),
                      QStringLiteral("-mx=0"), QStringLiteral("-psieben; Zip"), archive, source})
                     .exitCode,
                 0);
        QFile file(archive);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        // Stored (-mx=0), so the plain text is the content itself.
        const qsizetype dataAt = 30 + read16(bytes, 26) + read16(bytes, 28);
        const qsizetype dataSize =
            qsizetype(read16(bytes, 18)) | (qsizetype(read16(bytes, 20)) << 16);
        QCOMPARE(dataSize, content.size() + WinZipAes::Overhead);
        QByteArray data = bytes.mid(dataAt, dataSize);
        if (tamper)
            data[WinZipAes::SaltSize + WinZipAes::VerifierSize + 100] ^= 1;

        WinZipAes::Decryptor decryptor(password.toUtf8(), data.left(WinZipAes::SaltSize));
        QCOMPARE(decryptor.verifierMatches(data.mid(WinZipAes::SaltSize, WinZipAes::VerifierSize)),
                 verifierMatches);
        QByteArray ciphertext =
            data.mid(WinZipAes::SaltSize + WinZipAes::VerifierSize, content.size());
        QByteArray plain(ciphertext.size(), Qt::Uninitialized);
        // In uneven pieces, as a stream arrives.
        for (qsizetype at = 0; at < ciphertext.size(); at += 70001) {
            const qsizetype piece = qMin<qsizetype>(70001, ciphertext.size() - at);
            decryptor.decrypt(ciphertext.constData() + at, plain.data() + at, piece);
        }
        QCOMPARE(decryptor.authenticates(data.right(WinZipAes::CodeSize)), authenticates);
        if (verifierMatches && !tamper)
            QCOMPARE(plain, content);
    }

    void fileOver4GiBUsesZip64()
    {
        TestEnvironment env;
        const QString source = env.writeFile(QStringLiteral("big/disk.img"), "start");
        QFile sparse(source);
        const qint64 size = (qint64(4) << 30) + 4097;
        QVERIFY(sparse.resize(size));
        TZipMaster zip;
        prepare(zip);
        zip.SetAddCompLevel(1);
        zip.SetZipFileName(env.root() + QStringLiteral("/big.zip"));
        zip.FSpecArgs() << source;
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 1);
        QCOMPARE(entryProperties(zip.ZipFileName()).value(QStringLiteral("Size")),
                 QString::number(size));
        QVERIFY(testArchive(zip.ZipFileName(), QString()));
    }
};

QTEST_GUILESS_MAIN(TestZipMaster)
#include "tst_zipmaster.moc"
