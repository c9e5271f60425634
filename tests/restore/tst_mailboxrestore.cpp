#include "restore/MailboxCatalog.h"
#include "restore/MailboxRestore.h"
#include "support/FakeMailboxReader.h"
#include "support/FilePermissionsEnforced.h"
#include "support/RecordingRestoreProgress.h"
#include "support/ScriptedImapServer.h"
#include "support/TestEnvironment.h"
#include "transport/ImapMailboxReader.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using Outcome = MailboxRestore::Outcome;

// Saved versions written back from the mailbox: files, folders and parts, the
// questions before a file is written over or a password is tried, and archives that
// try to write where they must not.
class TestMailboxRestore : public QObject
{
    Q_OBJECT

private:
    static constexpr auto Password = "right horse battery";

    static QDateTime at(int minute) { return QDateTime(QDate(2026, 3, 1), QTime(10, minute)); }

    // The versions of the reader's notes, latest of each file first, in path order.
    static QList<SavedVersion> latest(FakeMailboxReader& reader, const QString& cache)
    {
        MailboxCatalog catalog(cache);
        RecordingRestoreProgress progress;
        catalog.refresh(reader, reader.open(), QStringLiteral("key"), progress);
        QList<SavedVersion> versions;
        for (const SavedFile& file : catalog.files())
            versions.append(file.versions.constFirst());
        return versions;
    }

    static MailboxRestore::Summary restore(FakeMailboxReader& reader, const QString& target,
                                           const QList<SavedVersion>& versions,
                                           const QString& password = Password)
    {
        MailboxRestore restore(reader, target, password);
        RecordingRestoreProgress progress;
        return restore.restore(versions, progress);
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Every file below a folder, links included, relative to it.
    static QStringList filesBelow(const QString& folder)
    {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(QDir(folder).relativeFilePath(it.next()));
        files.sort();
        return files;
    }

    static QByteArray randomBytes(qsizetype size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        return bytes;
    }

private Q_SLOTS:
    void filesFoldersAndPartsRestore()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        const QDateTime modified(QDate(2025, 12, 24), QTime(18, 30, 2));
        const QByteArray big = randomBytes(300000);
        reader.addSaveNote("/home/jo/a.txt", at(1),
                           FakeMailboxReader::archive("a.txt", "old", Password));
        reader.addSaveNote("/home/jo/a.txt", at(2),
                           FakeMailboxReader::archive("a.txt", "new", Password, modified));
        // One archive as the program itself packs it.
        TZipMaster zip;
        zip.SetZipFileName(env.path("packed/b.txt.zip"));
        const QString source = env.writeFile("source/b.txt", "b");
        QFile::setPermissions(source, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        zip.FSpecArgs() << source;
        zip.SetAddOptions(TZipMaster::AddEncrypt);
        zip.SetPassword(Password);
        zip.AddFiles();
        QCOMPARE(zip.SuccessCount(), 1);
        reader.addSaveNote("/home/jo/docs/b.txt", at(3), read(zip.ZipFileName()));
        reader.addSaveNote("/home/jo/big.bin", at(4),
                           FakeMailboxReader::archive("big.bin", big, Password), 3);
        const QString target = env.path("Restored");
        const MailboxRestore::Summary summary =
            restore(reader, target, latest(reader, env.path("cache")));

        QCOMPARE(summary.text(), "3 files restored, 0 skipped, 0 failed");
        QCOMPARE(read(target + "/home/jo/a.txt"), "new");
        QCOMPARE(read(target + "/home/jo/docs/b.txt"), "b");
        QCOMPARE(read(target + "/home/jo/big.bin"), big);
        QCOMPARE(QFileInfo(target + "/home/jo/a.txt").lastModified(), modified);
        // A private file comes back private.
        QCOMPARE(QFileInfo(target + "/home/jo/docs/b.txt").permissions() & 0x0077, 0);
        QCOMPARE(QFileInfo(target + "/home/jo/a.txt").permissions() & 0x0022, 0);
        QCOMPARE(filesBelow(target),
                 QStringList({"home/jo/a.txt", "home/jo/big.bin", "home/jo/docs/b.txt"}));
        QVERIFY(env.prompt.shown().isEmpty());
        QCOMPARE(MailboxRestore::relativePathOf("/home/jo/a.txt"), "home/jo/a.txt");
        QCOMPARE(MailboxRestore::defaultTargetFolder(at(7)),
                 QDir::homePath() + "/Restored 2026-03-01 10.07.00");
    }

    // Archives that put their sizes after the data are read once downloaded whole.
    void sizesAfterTheDataRestore()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        const QByteArray content = randomBytes(300000);
        QProcess sevenZip;
        sevenZip.start("7zz",
                       {"a", "-tzip", "-so", "old.zip", env.writeFile("source/old.bin", content)});
        QVERIFY(sevenZip.waitForFinished(60000));
        const QByteArray archive = sevenZip.readAllStandardOutput();
        QVERIFY(archive.size() > 8 && (archive.at(6) & 0x08));
        reader.addSaveNote("/old.bin", at(1), archive, 2);
        const QString target = env.path("Restored");
        const MailboxRestore::Summary summary =
            restore(reader, target, latest(reader, env.path("cache")), QString());
        QCOMPARE(summary.text(), "1 file restored, 0 skipped, 0 failed");
        QCOMPARE(read(target + "/old.bin"), content);
    }

    void existingFilesAreAskedAbout()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        const QString target = env.path("Restored");
        for (const QString name : {"a", "b", "c", "d"}) {
            reader.addSaveNote("/" + name, at(1),
                               FakeMailboxReader::archive(name, "saved", Password));
            env.writeFile("Restored/" + name, "mine");
        }
        const QList<SavedVersion> versions = latest(reader, env.path("cache"));

        env.prompt.queueAnswer(Prompt::Answer::Cancel);
        MailboxRestore::Summary summary = restore(reader, target, versions);
        QVERIFY(summary.cancelled);
        QCOMPARE(summary.skipped, 4);
        QCOMPARE(env.prompt.questions().size(), 1);
        QVERIFY(summary.text().contains("The restore was cancelled."));
        QCOMPARE(reader.fetches(), 0);

        env.prompt.clear();
        env.prompt.queueAnswer(Prompt::Answer::No);
        env.prompt.queueAnswer(Prompt::Answer::Yes);
        env.prompt.queueAnswer(Prompt::Answer::YesToAll);
        summary = restore(reader, target, versions);
        QCOMPARE(env.prompt.questions().size(), 3);
        QVERIFY(env.prompt.unexpected().isEmpty());
        QCOMPARE(summary.text(), "3 files restored, 1 skipped, 0 failed\n"
                                 "Skipped /a: the existing file was kept");
        QCOMPARE(read(target + "/a"), "mine");
        for (const QString name : {"b", "c", "d"})
            QCOMPARE(read(target + "/" + name), "saved");
    }

    void wrongPasswordIsAskedForOnce()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        reader.addSaveNote("/a", at(1), FakeMailboxReader::archive("a", "A", Password));
        reader.addSaveNote("/b", at(2), FakeMailboxReader::archive("b", "B", Password));
        const QList<SavedVersion> versions = latest(reader, env.path("cache"));

        env.prompt.queueText(QString("not it"));
        env.prompt.queueText(QString(Password));
        MailboxRestore::Summary summary = restore(reader, env.path("one"), versions, "stale");
        QCOMPARE(summary.restored, 2);
        QCOMPARE(env.prompt.notices().size(), 1);
        QCOMPARE(env.prompt.pendingReplies(), 0);

        env.prompt.clear();
        env.prompt.queueText(std::nullopt);
        summary = restore(reader, env.path("two"), versions, "stale");
        QCOMPARE(summary.failed, 2);
        QCOMPARE(summary.items.at(1).reason, "wrong zip password");
        QVERIFY(env.prompt.unexpected().isEmpty());
        QCOMPARE(filesBelow(env.path("two")), QStringList());
        for (const QString& text : env.prompt.shown() + QStringList(summary.text()))
            QVERIFY(!text.contains(Password) && !text.contains("stale"));
    }

    void hostileArchivesWriteNothing()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        const QString outside = env.path("outside");
        QDir().mkpath(outside);
        const QByteArray zeros(50 * 1024 * 1024, '\0');
        const QByteArray bomb = FakeMailboxReader::archive("bomb", zeros);
        reader.addSaveNote("/h/dots", at(1), FakeMailboxReader::archive("../x", "x"));
        reader.addSaveNote("/h/abs", at(1), FakeMailboxReader::archive(outside + "/abs", "x"));
        reader.addSaveNote("/h/link", at(1), FakeMailboxReader::symlinkArchive("link", "/etc"));
        reader.addSaveNote("/h/two", at(1), FakeMailboxReader::twoEntryArchive());
        reader.addSaveNote("/h/small-claim", at(1), FakeMailboxReader::withDeclaredSize(bomb, 100));
        reader.addSaveNote("/h/large-claim", at(1),
                           FakeMailboxReader::withDeclaredSize(bomb, 0xF0000000u));
        reader.addSaveNote("/../../outside/escape", at(1), FakeMailboxReader::archive("e", "x"));
        reader.addSaveNote("/via/link/f", at(1), FakeMailboxReader::archive("f", "x"));
        const QString target = env.path("Restored");
        QDir().mkpath(target);
        QVERIFY(QFile::link(outside, target + "/via"));

        MailboxRestore::Summary summary =
            restore(reader, target, latest(reader, env.path("cache")), QString());
        QCOMPARE(summary.failed, 8);
        for (const MailboxRestore::ItemResult& item : summary.items)
            QVERIFY2(!item.reason.isEmpty(), qPrintable(item.path));
        QCOMPARE(filesBelow(outside), QStringList());
        QCOMPARE(filesBelow(target), QStringList());
        QVERIFY(summary.text().contains("Failed /h/small-claim: the archive's entry is larger"));
        QVERIFY(summary.text().contains("Failed /h/large-claim: the archive's entry claims"));
        QVERIFY(summary.text().contains("Failed /h/link: the archive's entry is a link"));

        // With a zip password, a plain archive is refused whatever it holds, even as
        // the newest version of a file saved encrypted before.
        reader.addSaveNote("/h/planted", at(1),
                           FakeMailboxReader::archive("planted", "mine", Password));
        reader.addSaveNote("/h/planted", at(2), FakeMailboxReader::archive("planted", "theirs"));
        summary = restore(reader, target, latest(reader, env.path("cache")));
        QCOMPARE(summary.failed, 9);
        QVERIFY(summary.text().contains("Failed /h/planted: refused: the archive is not "
                                        "encrypted with AES"));
        QCOMPARE(filesBelow(target), QStringList());
    }

    void brokenDownloadsLeaveNoFile()
    {
        TestEnvironment env;
        FakeMailboxReader reader;
        const QByteArray content = randomBytes(100000);
        const QList<quint32> parts =
            reader.addSaveNote("/a", at(1), FakeMailboxReader::archive("a", content, Password), 2);
        const QList<quint32> torn =
            reader.addSaveNote("/b", at(1), FakeMailboxReader::archive("b", content, Password), 2);
        reader.removeNote(torn.at(1));
        QByteArray damaged = FakeMailboxReader::archive("c", content, Password);
        damaged[damaged.size() / 2] = static_cast<char>(damaged.at(damaged.size() / 2) ^ 0x55);
        reader.addSaveNote("/c", at(1), damaged);
        const QList<SavedVersion> versions = latest(reader, env.path("cache"));
        // Dropped, and dropped again once connected anew.
        reader.failFetchAfter(parts.at(1), 1000, 2);

        const QString target = env.path("Restored");
        const MailboxRestore::Summary summary = restore(reader, target, versions);
        QCOMPARE(summary.failed, 3);
        QCOMPARE(summary.items.at(0).reason, "The connection to the mail server was lost.");
        QCOMPARE(summary.items.at(1).reason, "incomplete: part 2 of 2 is missing");
        QVERIFY2(summary.items.at(2).reason.contains("CRC") ||
                     summary.items.at(2).reason.contains("damaged") ||
                     summary.items.at(2).reason.contains("cannot be read"),
                 qPrintable(summary.items.at(2).reason));
        QCOMPARE(filesBelow(target), QStringList());

        // A cancel while the data arrives stops the run there.
        RecordingRestoreProgress progress;
        int calls = 0;
        progress.cancelWhen = [&] {
            return ++calls > 1;
        };
        const MailboxRestore::Summary cancelled =
            MailboxRestore(reader, target, Password).restore(versions, progress);
        QVERIFY(cancelled.cancelled);
        QCOMPARE(cancelled.skipped, 3);
        QCOMPARE(filesBelow(target), QStringList());

        // Dropped once: connected again, the file starts over and comes whole.
        reader.open();
        reader.resetCounts();
        reader.failFetchAfter(parts.at(1), 1000);
        const MailboxRestore::Summary again = restore(reader, target, {versions.at(0)});
        QCOMPARE(again.text(), "1 file restored, 0 skipped, 0 failed");
        QCOMPARE(reader.opens(), 1);
        QCOMPARE(read(target + "/a"), content);
        QCOMPARE(filesBelow(target), QStringList{"a"});
    }

    // Over IMAP: a download that breaks off is fetched again over a new connection,
    // and a file the disk refuses fails alone, with the system's reason, while the
    // files after it come.
    void restoreGoesOnOverImap()
    {
        TestEnvironment env;
        ScriptedImapServer server;
        QList<SavedVersion> versions;
        const QList<QPair<QString, QByteArray>> files{{"/a", "alpha"},
                                                      {"/big", randomBytes(300000)},
                                                      {"/locked/d", "delta"},
                                                      {"/locked/e/f", "phi"},
                                                      {"/c", "gamma"}};
        for (const auto& [path, content] : files) {
            const QByteArray base64 =
                FakeMailboxReader::archive(path.mid(1), content, Password).toBase64();
            QByteArray encoded;
            for (qsizetype at = 0; at < base64.size(); at += 76)
                encoded += base64.mid(at, 76) + "\r\n";
            SavedVersion version;
            version.path = path;
            version.noteDate = at(1);
            MailboxNote note;
            note.uid = static_cast<quint32>(versions.size() + 1);
            note.attachmentSection = "2";
            note.attachmentEncoding = "base64";
            note.attachmentEncodedSize = encoded.size();
            version.parts = {note};
            version.partNumbers = {1};
            versions.append(version);
            server.setBody(note.uid, "2", encoded);
        }
        // The small files come ahead in one command; /big, too large for that, on its own.
        server.script("UID FETCH 2 (UID BODY", "* 1 FETCH (UID 2 BODY[2] {5000}\r\nQUJD",
                      ScriptedImapServer::Action::Drop);
        ImapMailboxReader reader(
            {"127.0.0.1", server.port(), "jo", "imap-secret", QStringLiteral("INBOX")});
        reader.setConnectTimeoutMs(5000);
        reader.setReplyTimeoutMs(2000);
        const QString target = env.path("Restored");
        // A folder the user may not write in.
        QVERIFY(QDir().mkpath(target + "/locked"));
        QFile::setPermissions(target + "/locked", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const FilePermissionsEnforced asAUser;
        MailboxRestore restore(reader, target, Password);
        restore.setMailboxState(reader.open());

        // No file may grow past 100 KB: to the restore, a disk that is full.
        rlimit unlimited{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
        if (unlimited.rlim_max != RLIM_INFINITY && unlimited.rlim_max < 1000000)
            QSKIP("the file size limit is too low already");
        rlimit limited = unlimited;
        limited.rlim_cur = 100000;
        const auto signalBefore = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        RecordingRestoreProgress progress;
        const MailboxRestore::Summary summary = restore.restore(versions, progress);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, signalBefore);
        reader.close();

        QCOMPARE(summary.text(),
                 "2 files restored, 0 skipped, 3 failed\nFailed /big: could not write the file: " +
                     QString::fromLocal8Bit(std::strerror(EFBIG)) +
                     "\nFailed /locked/d: could not create a file in " + target +
                     "/locked: " + QString::fromLocal8Bit(std::strerror(EACCES)) +
                     "\nFailed /locked/e/f: Could not create the folder " + target +
                     "/locked/e: " + QString::fromLocal8Bit(std::strerror(EACCES)));
        QCOMPARE(read(target + "/a"), "alpha");
        QCOMPARE(read(target + "/c"), "gamma");
        QCOMPARE(filesBelow(target), QStringList({"a", "c"}));
        // Connected at first, again for /big, and again after it when the full disk
        // was noticed while its part was still arriving (the file is written beside
        // the download, so that depends on timing).
        const QList<QByteArray> commands = server.commands();
        QCOMPARE(commands.count("UID FETCH 1,3:5 (UID BODY.PEEK[2])"), 1);
        QCOMPARE(commands.count("UID FETCH 1 (UID BODY.PEEK[2])"), 0);
        const auto connections =
            std::count_if(commands.begin(), commands.end(), [](const QByteArray& command) {
                return command.startsWith("AUTHENTICATE");
            });
        QVERIFY2(connections == 2 || connections == 3, QByteArray::number(connections));
    }
};

QTEST_GUILESS_MAIN(TestMailboxRestore)
#include "tst_mailboxrestore.moc"
