#include "backupdata/DiscStaging.h"
#include "backupdata/FileIdCounter.h"
#include "backupdata/FileNameParts.h"
#include "backupdata/LogLineFormat.h"
#include "backupdata/MachineNumber.h"
#include "backupdata/SaveNote.h"
#include "backupdata/TernFileObject.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "transport/IdMessage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

// The file object and the small classes it hands its work to, against real files in
// a temporary home.
class TestTernFileObject : public QObject
{
    Q_OBJECT

private:
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void setModified(const QString& path, const QDateTime& moment)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(moment, QFileDevice::FileModificationTime));
    }

private Q_SLOTS:
    void derivedNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("namePart");
        QTest::addColumn<QString>("extensionTag");
        QTest::newRow("two dots") << "/Docs/report.final.doc"
                                  << "report"
                                  << "-doc";
        QTest::newRow("no extension") << "/Docs/README"
                                      << "README"
                                      << "";
        QTest::newRow("hidden file") << "/Docs/.profile"
                                     << ".profile"
                                     << "";
        QTest::newRow("hidden with extension") << "/Docs/.config.bak"
                                               << ".config"
                                               << "-bak";
        QTest::newRow("dot in folder only") << "/Back.up/report"
                                            << "report"
                                            << "";
        QTest::newRow("trailing dot") << "/Docs/report."
                                      << "report"
                                      << "-";
        QTest::newRow("bare name") << "notes.txt"
                                   << "notes"
                                   << "-txt";
    }
    void derivedNames()
    {
        QFETCH(QString, path);
        QTEST(FileNameParts::namePartOf(path), "namePart");
        QTEST(FileNameParts::extensionTagOf(path), "extensionTag");
    }

    void creationAndStagingAdvanceTheCounter()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteFileIDNumber(40);
        TTernFileObject first;
        TTernFileObject second;
        QCOMPARE(store.ReadFileIDNumber(), 42);
        QCOMPARE(second.ID(), 0);
        QCOMPARE(second.BackupDate(), env.clock.now());
        second.SetFileName(QStringLiteral("/Documents/report.doc"));
        QCOMPARE(second.MakeRelativeName(), QStringLiteral("Documents/report (43) .doc"));
        QCOMPARE(second.ID(), 43);
        QCOMPARE(store.ReadFileIDNumber(), 43);

        // A counter passed in is the one advanced, numbering stages and drive copies;
        // the settings are left alone.
        MemoryFileIdCounter ids(7);
        TTernFileObject own(ids);
        QCOMPARE(ids.current(), 8);
        own.SetFileName(QStringLiteral("/Documents/report.doc"));
        QCOMPARE(own.MakeRelativeName(), QStringLiteral("Documents/report (9) .doc"));
        store.WriteUserBackUpEmailAddress(QStringLiteral("/backup"));
        QCOMPARE(own.MakeDriveDestination(), QStringLiteral("/backup/Documents/report (9) .doc"));
        QCOMPARE(store.ReadFileIDNumber(), 43);
    }

    void relativeNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<QString>("relative");
        QTest::newRow("extension")
            << "/Documents/report.doc" << false << "Documents/report (57) .doc";
        QTest::newRow("no dot") << "/Docs/README" << false << "Docs/README (57) ";
        // Folders keep their names, dots and all: the files of one folder stay together.
        QTest::newRow("dot in folder")
            << "/Back.up/report.doc" << false << "Back.up/report (57) .doc";
        QTest::newRow("hidden file") << "/home/.bashrc" << false << "home/.bashrc (57) ";
        QTest::newRow("overwrite") << "/Documents/report.doc" << true << "Documents/report.doc";
    }
    void relativeNames()
    {
        QFETCH(QString, path);
        QFETCH(bool, overwrite);
        QTEST(DiscStaging::relativeName(path, 57, overwrite), "relative");
    }

    void sizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("sizeText");
        QTest::addColumn<qint64>("sizeForLimit");
        QTest::newRow("empty") << qint64(0) << "0 KB" << qint64(0);
        QTest::newRow("500 bytes") << qint64(500) << "0 KB" << qint64(0);
        QTest::newRow("1500 bytes") << qint64(1500) << "1 KB" << qint64(1000);
        // Past 2 GB and 4 GB: the limit count must not wrap (sparse, takes no space).
        QTest::newRow("5 GiB sparse")
            << (qint64(5) << 30) + 1500 << "5242881 KB" << qint64(5242881000);
    }
    void sizes()
    {
        QFETCH(qint64, bytes);
        TestEnvironment env;
        const QString path = env.writeFile(QStringLiteral("data/file.bin"), QByteArray());
        QFile sparse(path);
        QVERIFY(sparse.resize(bytes));
        TTernFileObject file;
        file.SetFileName(path);
        QTEST(file.SizeText(), "sizeText");
        QTEST(file.SizeForLimit(), "sizeForLimit");
    }

    void missingFileAnswers()
    {
        TestEnvironment env;
        TTernFileObject file;
        file.SetFileName(env.root() + QStringLiteral("/missing.txt"));
        QVERIFY(!file.Exists());
        QCOMPARE(file.SizeText(), QStringLiteral("? KB"));
        QCOMPARE(file.SizeForLimit(), qint64(0));
        QCOMPARE(file.FileDate(), QDateTime(QDate(1960, 1, 1), QTime(0, 0)));
        // A folder is not a file to back up.
        file.SetFileName(env.root());
        QVERIFY(!file.Exists());
        QCOMPARE(file.SizeText(), QStringLiteral("? KB"));
    }

    void fileDateHasWholeSeconds()
    {
        TestEnvironment env;
        const QString path = env.writeFile(QStringLiteral("a.txt"), "x");
        setModified(path, QDateTime(QDate(2004, 3, 14), QTime(9, 5, 33, 870)));
        TTernFileObject file;
        file.SetFileName(path);
        // Odd seconds stay: the log keeps one-second resolution.
        QCOMPARE(file.FileDate(), QDateTime(QDate(2004, 3, 14), QTime(9, 5, 33)));
    }

    void recordLineAndMidnight()
    {
        TestEnvironment env;
        const QString path =
            env.writeFile(QStringLiteral("Docs/report.doc"), QByteArray(37 * 1024 + 5, 'r'));
        setModified(path, QDateTime(QDate(2004, 3, 14), QTime(0, 0)));
        TTernFileObject file;
        file.SetFileName(path);
        file.SetBackupDate(QDateTime(QDate(2004, 3, 14), QTime(21, 40, 7)));
        const QString line = file.RecordLine();
        QCOMPARE(line, path + QStringLiteral(";14/03/2004;37 KB;14/03/2004 21:40:07;0"));
        const QStringList fields = line.split(QLatin1Char(';'));
        QCOMPARE(parseLogDateTime(fields.at(1)), QDateTime(QDate(2004, 3, 14), QTime(0, 0)));
        QCOMPARE(parseLogDateTime(fields.at(3)), file.BackupDate());
        QVERIFY(!parseLogDateTime(QStringLiteral("14/03/2004 25:00:00")).isValid());
    }

    void appendToLogWritesWholeLines()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        const QString logPath = env.root() + QStringLiteral("/Log.Txt");
        store.WriteLogFile(logPath);
        const QString path = env.writeFile(QStringLiteral("Docs/a;b é.txt"), "abc");
        TTernFileObject file;
        file.SetFileName(path);
        file.AppendToLog();
        file.AppendLinesToLog({QStringLiteral("one"), QStringLiteral("two")});
        const QByteArray expected =
            file.RecordLine().toUtf8() + "\r\n" + QByteArray("one\r\ntwo\r\n");
        QCOMPARE(readAll(logPath), expected);
    }

    void lineBreaksAreRefusedBeforeAnythingIsWritten()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        const QString logPath = env.writeFile(QStringLiteral("Log.Txt"), "kept\r\n");
        store.WriteLogFile(logPath);
        TTernFileObject file;
        file.SetFileName(env.root() + QStringLiteral("/bad\nname.txt"));
        QVERIFY_THROWS_EXCEPTION(KestrelError, file.AppendToLog());
        QVERIFY_THROWS_EXCEPTION(
            KestrelError, file.AppendLinesToLog({QStringLiteral("fine"), QStringLiteral("a\rb")}));
        TIdMessage message;
        QVERIFY_THROWS_EXCEPTION(KestrelError, file.PrepareSaveNote(message));
        QVERIFY(message.Subject.isEmpty());
        QCOMPARE(readAll(logPath), QByteArray("kept\r\n"));
    }

    void recordAfterACutShortLineStartsOnItsOwnLine()
    {
        TestEnvironment env;
        const QString logPath = env.writeFile(QStringLiteral("Log.Txt"), "/a;01/01/2004;1 KB;02/0");
        TQuayRegistryObject().WriteLogFile(logPath);
        TTernFileObject file;
        file.AppendLinesToLog({QStringLiteral("next")});
        QCOMPARE(readAll(logPath), QByteArray("/a;01/01/2004;1 KB;02/0\r\nnext\r\n"));
    }

    void unwritableLogIsAnError()
    {
        TestEnvironment env;
        TQuayRegistryObject().WriteLogFile(env.root() + QStringLiteral("/no/such/folder/Log.Txt"));
        TTernFileObject file;
        file.SetFileName(QStringLiteral("/x"));
        QVERIFY_THROWS_EXCEPTION(KestrelError, file.AppendToLog());
    }

    void soloSaveNote()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteUserSMPTServerName(QStringLiteral("jo"));
        store.WriteUserSMPTName(QStringLiteral("smtp.example.org"));
        store.WriteUserBackUpEmailAddress(QStringLiteral("backup@example.org"));
        TTernFileObject file;
        file.SetFileName(QStringLiteral("/Documents/re#port.doc"));
        env.clock.advance(65000);
        TIdMessage message;
        file.PrepareSaveNote(message);
        QCOMPARE(message.Subject, QStringLiteral("KestrelSolo Save#") + machineNumberText() +
                                      QStringLiteral("#/Documents/re#port.doc"));
        QCOMPARE(message.From.Address, QStringLiteral("jo@smtp.example.org"));
        QCOMPARE(message.Recipients.count(), 1);
        QCOMPARE(message.Recipients.at(0).Address, QStringLiteral("backup@example.org"));
        QCOMPARE(file.BackupDate(), env.clock.now());
    }

    void saveNoteSender_data()
    {
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("ownAddress");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("server");
        QTest::newRow("user name and server") << "jo"
                                              << ""
                                              << "jo@smtp.example.org"
                                              << "smtp.example.org";
        // Mail servers refuse "jo@192.0.2.7" with 501.
        QTest::newRow("server by IPv4 address") << "jo"
                                                << ""
                                                << "jo@[192.0.2.7]"
                                                << " 192.0.2.7";
        QTest::newRow("server by IPv6 address") << "jo"
                                                << ""
                                                << "jo@[IPv6:2001:db8::7]"
                                                << "2001:db8::7";
        // "ann@example.org@smtp.example.org" would be no valid sender.
        QTest::newRow("log-in is an address") << "ann@example.org"
                                              << "other@example.org"
                                              << "ann@example.org"
                                              << "smtp.example.org";
        QTest::newRow("no log-in: the user's own address") << ""
                                                           << "me@example.org"
                                                           << "me@example.org"
                                                           << "smtp.example.org";
    }

    void saveNoteSender()
    {
        QFETCH(QString, userName);
        QFETCH(QString, ownAddress);
        QFETCH(QString, sender);
        QFETCH(QString, server);
        TestEnvironment env;
        const TQuayRegistryObject store;
        store.WriteUserSMPTServerName(userName);
        store.WriteUserSMPTName(server);
        store.WriteUserEmailAddress(ownAddress);
        QCOMPARE(SaveNote::sender(), sender);
    }

    void clientSaveNoteAndLastLogName()
    {
        TestEnvironment env(QStringLiteral("KestrelClient"));
        TQuayRegistryObject store;
        store.WriteUserQuayName(QStringLiteral("Jo Bloggs"));
        TTernFileObject file;
        file.SetFileName(QStringLiteral("/Documents/report.final.doc"));
        const QString tail = store.ReadUserID() + QLatin1Char('#') + machineNumberText() +
                             QStringLiteral("#Jo Bloggs#0#report");
        TIdMessage message;
        file.PrepareSaveNote(message);
        QCOMPARE(message.Subject, QStringLiteral("KestrelClient Save#") + tail);
        QCOMPARE(message.Recipients.at(0).Address, TQuayRegistryObject::serviceBackUpAddress());
        file.RememberLastLog();
        QCOMPARE(store.ReadLastBackUpLogFileName(), tail);
    }

    void machineNumber()
    {
        const QString number = machineNumberText();
        QVERIFY(!number.isEmpty() && number.size() <= 10);
        QCOMPARE(machineNumberText(), number);
        QCOMPARE(machineNumberForKey("abc"), machineNumberForKey("abc"));
        QVERIFY(machineNumberForKey("abc") != machineNumberForKey("abd"));
        TestEnvironment env;
        const QString idFile = env.writeFile(QStringLiteral("machine-id"), "0123abcd\n");
        QCOMPARE(machineIdentityKey(idFile), QByteArray("0123abcd"));
        // Without a machine id the root file system's id stands in.
        QVERIFY(!machineIdentityKey(env.root() + QStringLiteral("/none")).isEmpty());
    }

    void stagedPathShortening_data()
    {
        QTest::addColumn<int>("relativeLength");
        QTest::addColumn<bool>("shortened");
        QTest::newRow("255 kept") << 255 << false;
        QTest::newRow("256 shortened") << 256 << true;
    }
    void stagedPathShortening()
    {
        QFETCH(int, relativeLength);
        const QString folder = QStringLiteral("/stage/");
        const QString fileName = QStringLiteral("/report.doc");
        const QString relative =
            QString(relativeLength - folder.size() - fileName.size(), QLatin1Char('d')) + fileName;
        const QString staged =
            DiscStaging::shortenedStagingPath(folder, relative, QStringLiteral("~1"));
        QTEST(staged.startsWith(QStringLiteral("/stage/Files With Shortened Paths/")), "shortened");
        QVERIFY(staged.size() <= DiscStaging::MaxStagedPathLength);
    }

    void stagedPathDropsLeadingFoldersThenShortensName()
    {
        const QString folder = QStringLiteral("/stage/");
        const QString longFolder(250, QLatin1Char('f'));
        QCOMPARE(DiscStaging::shortenedStagingPath(
                     folder, longFolder + QStringLiteral("/2004/report.doc"), QStringLiteral("~7")),
                 QStringLiteral("/stage/Files With Shortened Paths/2004/report.doc"));
        QCOMPARE(DiscStaging::shortenedStagingPath(folder,
                                                   longFolder + QLatin1Char('/') + longFolder +
                                                       QStringLiteral("/b/report.doc"),
                                                   QStringLiteral("~7")),
                 QStringLiteral("/stage/Files With Shortened Paths/b/report.doc"));
        const QString longName = QString(300, QLatin1Char('n')) + QStringLiteral(".doc");
        const QString staged = DiscStaging::shortenedStagingPath(
            folder, QStringLiteral("a/") + longName, QStringLiteral("~7"));
        QCOMPARE(staged.size(), DiscStaging::MaxStagedPathLength);
        QVERIFY(staged.startsWith(QStringLiteral("/stage/Files With Shortened Paths/nnn")));
        QVERIFY(staged.endsWith(QStringLiteral("n~7.doc")));
        // A staging folder that leaves no room for any name cannot stage.
        QVERIFY_THROWS_EXCEPTION(
            KestrelError, DiscStaging::shortenedStagingPath(
                              QLatin1Char('/') + QString(240, QLatin1Char('s')) + QLatin1Char('/'),
                              longName, QStringLiteral("~7")));
    }

    void stageCopyCopiesUnderShortenedName()
    {
        TestEnvironment env;
        const QByteArray content("staged bytes");
        const QString source =
            env.writeFile(QString(120, QLatin1Char('a')) + QLatin1Char('/') +
                              QString(100, QLatin1Char('b')) + QStringLiteral("/x.txt"),
                          content);
        TTernFileObject file;
        file.SetFileName(source);
        const QString stage = env.root() + QStringLiteral("/Burn Area/");
        QVERIFY(file.StageCopy(stage));
        QVERIFY(file.DestinationPath().startsWith(stage +
                                                  QStringLiteral("Files With Shortened Paths/")));
        QCOMPARE(readAll(file.DestinationPath()), content);
        QVERIFY(file.DeleteDestination());
        QVERIFY(!file.DestinationExists());
    }

    void existsOnDriveJoinsMountPointAndRelativeName()
    {
        TestEnvironment env;
        env.writeFile(QStringLiteral("media/disc/Docs/report (5) .doc"), "x");
        TTernFileObject file;
        file.SetRelativeName(QStringLiteral("Docs/report (5) .doc"));
        QVERIFY(file.ExistsOnDrive(env.root() + QStringLiteral("/media/disc")));
        QVERIFY(file.ExistsOnDrive(env.root() + QStringLiteral("/media/disc/")));
        QVERIFY(!file.ExistsOnDrive(env.root() + QStringLiteral("/media")));
    }

    void copyFile()
    {
        TestEnvironment env;
        QByteArray content;
        for (int i = 0; i < 300000; ++i)
            content += char(i * 7);
        const QString source = env.writeFile(QStringLiteral("src.bin"), content);
        const QString destination = env.root() + QStringLiteral("/new/deep/copy.bin");
        QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner));
        TTernFileObject::CopyFile(source, destination);
        QCOMPARE(readAll(destination), content);
        QCOMPARE(QFileInfo(destination).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
        env.writeFile(QStringLiteral("new/deep/copy.bin"),
                      "older and longer content than the source");
        const QString small = env.writeFile(QStringLiteral("small.txt"), "new");
        TTernFileObject::CopyFile(small, destination);
        QCOMPARE(readAll(destination), QByteArray("new"));
        // A failed copy leaves the existing destination as it was.
        QVERIFY_THROWS_EXCEPTION(
            KestrelError,
            TTernFileObject::CopyFile(env.root() + QStringLiteral("/gone"), destination));
        QCOMPARE(readAll(destination), QByteArray("new"));
        QCOMPARE(QDir(env.root() + QStringLiteral("/new/deep")).entryList(QDir::Files).size(), 1);
    }

    void removeFolderTreeNeverFollowsLinks()
    {
        TestEnvironment env;
        const QString outsideFile = env.writeFile(QStringLiteral("outside/keep.txt"), "keep");
        const QString outsideFolder = env.root() + QStringLiteral("/outside");
        const QString tree = env.root() + QStringLiteral("/tree");
        env.writeFile(QStringLiteral("tree/a.txt"), "a");
        env.writeFile(QStringLiteral("tree/.hidden/b.txt"), "b");
        env.writeFile(QStringLiteral("tree/sub/deeper/c.txt"), "c");
        QVERIFY(QFile::link(outsideFolder, tree + QStringLiteral("/sub/linkToFolder")));
        QVERIFY(QFile::link(outsideFile, tree + QStringLiteral("/linkToFile")));
        QVERIFY(
            QFile::link(env.root() + QStringLiteral("/nowhere"), tree + QStringLiteral("/broken")));
        TTernFileObject::RemoveFolderTree(tree);
        QVERIFY(!QFileInfo::exists(tree));
        QCOMPARE(readAll(outsideFile), QByteArray("keep"));

        // A link given as the tree itself goes; its target stays.
        const QString link = env.root() + QStringLiteral("/linkedTree");
        QVERIFY(QFile::link(outsideFolder, link));
        TTernFileObject::RemoveFolderTree(link);
        QVERIFY(!QFileInfo(link).isSymLink());
        QCOMPARE(readAll(outsideFile), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TestTernFileObject)
#include "tst_ternfileobject.moc"
