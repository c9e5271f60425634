#include "backupdata/FolderListing.h"
#include "backupdata/KestrelFolders.h"
#include "backupdata/SelectionListText.h"
#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

void makeFolder(const QString& path)
{
    QVERIFY2(QDir().mkpath(path), qPrintable(path));
}

void makeFile(const QString& path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("x");
}

void makeLink(const QString& target, const QString& link)
{
    QVERIFY2(QFile::link(target, link), qPrintable(link));
}

void setModified(const QString& path, const QDateTime& moment)
{
    const time_t seconds = time_t(moment.toSecsSinceEpoch());
    const utimbuf times{seconds, seconds};
    QVERIFY2(utime(QFile::encodeName(path).constData(), &times) == 0, qPrintable(path));
}

// Removes the folder with a name that is not UTF-8, which QTemporaryDir cannot.
struct RawFolderCleanup
{
    QByteArray path;
    ~RawFolderCleanup() { rmdir(path.constData()); }
};

} // namespace

// Listing one folder, expanding sub-folders and the new-folder search, on real trees.
class TestKestrelFolders : public QObject
{
    Q_OBJECT

private:
    // walk/ holds Docs/2004, docs, .hidden/inside, "a;b", a folder whose name holds a
    // line break, a folder whose name is not UTF-8, links to an ancestor and to a
    // sibling folder, and files of every kind.
    static QString buildWalkTree(const TestEnvironment& env)
    {
        const QString walk = env.path(QStringLiteral("walk/x")).chopped(2);
        const QStringList folders{QStringLiteral("Docs/2004"), QStringLiteral("docs"),
                                  QStringLiteral(".hidden/inside"), QStringLiteral("a;b"),
                                  QStringLiteral("two\nlines/below")};
        for (const QString& folder : folders)
            makeFolder(walk + u'/' + folder);
        mkdir(rawFolder(walk).constData(), 0700);
        makeLink(walk, walk + QStringLiteral("/loop"));
        makeLink(walk + QStringLiteral("/Docs"), walk + QStringLiteral("/linkToDocs"));
        const QStringList files{QStringLiteral("report.doc"), QStringLiteral("Notes.TXT"),
                                QStringLiteral("notes.txt"),  QStringLiteral(".profile"),
                                QStringLiteral("x\ny.txt"),   QStringLiteral("semi;colon.txt")};
        for (const QString& file : files)
            makeFile(walk + u'/' + file);
        makeLink(walk + QStringLiteral("/report.doc"), walk + QStringLiteral("/link.txt"));
        makeLink(walk + QStringLiteral("/nowhere"), walk + QStringLiteral("/dangling"));
        mkfifo(QFile::encodeName(walk + QStringLiteral("/pipe")).constData(), 0600);
        return walk;
    }

    static QByteArray rawFolder(const QString& walk)
    {
        return QFile::encodeName(walk).append("/bad\xff");
    }

private Q_SLOTS:
    void listOneFolder()
    {
        TestEnvironment env;
        const QString walk = buildWalkTree(env);
        const RawFolderCleanup cleanup{rawFolder(walk)};
        const FolderListing listing = listFolder(walk);
        // Regular files and links to them, hidden ones left out, case-insensitive order
        // with `Notes.TXT` and `notes.txt` both kept.
        QCOMPARE(listing.files,
                 (QStringList{QStringLiteral("link.txt"), QStringLiteral("Notes.TXT"),
                              QStringLiteral("notes.txt"), QStringLiteral("report.doc"),
                              QStringLiteral("semi;colon.txt")}));
        QCOMPARE(listing.folders, (QStringList{QStringLiteral("a;b"), QStringLiteral("Docs"),
                                               QStringLiteral("docs")}));
        QCOMPARE(listing.fileProblems,
                 QStringList{unlistableNameMessage(walk + QStringLiteral("/x\ny.txt"))});
        QCOMPARE(listing.folderProblems.size(), 2);
        QVERIFY(listing.folderProblems.contains(
            unlistableNameMessage(walk + QStringLiteral("/two\nlines"))));
        QCOMPARE(listing.folderProblems.filter(QStringLiteral("not valid UTF-8")).size(), 1);

        const FolderListing missing = listFolder(walk + QStringLiteral("/none"));
        QVERIFY(missing.files.isEmpty());
        QCOMPARE(missing.folderProblems,
                 QStringList{unreadableFolderMessage(walk + QStringLiteral("/none"))});
    }

    // Counting takes a short cut for plain names; it must agree with the listing on
    // every kind of name, and so must the walk that keeps what it read.
    void countingAgreesWithListing()
    {
        TestEnvironment env;
        const QString walk = buildWalkTree(env);
        const RawFolderCleanup cleanup{rawFolder(walk)};
        makeFile(walk + QStringLiteral("/caf\u00e9.txt"));
        const QByteArray rawFile = QFile::encodeName(walk).append("/bad\xfe.txt");
        QVERIFY(::close(::open(rawFile.constData(), O_WRONLY | O_CREAT, 0600)) == 0);
        const auto removeRaw = qScopeGuard([&rawFile] { ::unlink(rawFile.constData()); });

        const FolderListing listed = listFolder(walk);
        QCOMPARE(listed.fileCount, listed.files.size());
        QVERIFY(listed.files.contains(QStringLiteral("caf\u00e9.txt")));
        QCOMPARE(listed.fileProblems.size(), 2); // the line break and the bad byte
        const FolderListing counted = listFolder(walk, FileNames::CountOnly);
        QCOMPARE(counted.fileCount, listed.files.size());
        QVERIFY(counted.files.isEmpty());
        QCOMPARE(counted.folders, listed.folders);
        QCOMPARE(counted.fileProblems, listed.fileProblems);
        QCOMPARE(counted.folderProblems, listed.folderProblems);

        QStringList plain;
        TKestrelFolders::GetSubFolders(walk, plain);
        QStringList keeping;
        QHash<QString, FolderListing> listings;
        TKestrelFolders::GetSubFolders(walk, keeping, listings, nullptr);
        QCOMPARE(keeping, plain);
        QCOMPARE(listings.size(), plain.size() + 1);
        for (const QString& folder : std::as_const(keeping) + QStringList{walk})
            QCOMPARE(listings.value(folder).files, listFolder(folder).files);
    }

    void subFolders()
    {
        TestEnvironment env;
        const QString walk = buildWalkTree(env);
        const RawFolderCleanup cleanup{rawFolder(walk)};
        QStringList list;
        QStringList problems;
        // A trailing "/" does not double in the paths.
        TKestrelFolders::GetSubFolders(walk + u'/', list, &problems);
        // Each folder before its own sub-folders; links to folders (one of them a loop)
        // are not followed, hidden folders are not entered.
        QCOMPARE(list, (QStringList{walk + QStringLiteral("/a;b"), walk + QStringLiteral("/Docs"),
                                    walk + QStringLiteral("/Docs/2004"),
                                    walk + QStringLiteral("/docs")}));
        QCOMPARE(problems.size(), 2);

        // A hidden folder the user chose is walked itself.
        QStringList hidden;
        TKestrelFolders::GetSubFolders(walk + QStringLiteral("/.hidden"), hidden);
        QCOMPARE(hidden, QStringList{walk + QStringLiteral("/.hidden/inside")});
    }

    void newFolders()
    {
        TestEnvironment env;
        const QString root = env.path(QStringLiteral("search/x")).chopped(2);
        // Put the program's data folder inside the searched tree: the search must skip it.
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
        const QString programFolder = currentProgramFolder();
        QVERIFY(programFolder.startsWith(root + QStringLiteral("/data/Orrery")));
        const QStringList folders{QStringLiteral("new"), QStringLiteral("old/new below old"),
                                  QStringLiteral("exact"), QStringLiteral(".hidden/new"),
                                  QStringLiteral("Old")};
        for (const QString& folder : folders)
            makeFolder(root + u'/' + folder);
        makeLink(root + QStringLiteral("/new"), root + QStringLiteral("/link to new"));

        const QDateTime since(QDate(2000, 1, 1), QTime(0, 0));
        const QDateTime newer(QDate(2005, 6, 1), QTime(12, 0));
        const QDateTime older(QDate(1990, 6, 1), QTime(12, 0));
        const QStringList newerFolders{
            QStringLiteral("/new"),         QStringLiteral("/old/new below old"),
            QStringLiteral("/.hidden/new"), QStringLiteral("/data"),
            programFolder.mid(root.size()), QStringLiteral("/data/Orrery")};
        for (const QString& folder : newerFolders)
            setModified(root + folder, newer);
        setModified(root + QStringLiteral("/old"), older);
        setModified(root + QStringLiteral("/Old"), older);
        setModified(root + QStringLiteral("/exact"), since);

        QStringList list;
        int steps = 0;
        TKestrelFolders::FindNewFolders(root, QStringLiteral("01/01/2000"), list, [&steps] {
            ++steps;
            return true;
        });
        QCOMPARE(list, (QStringList{root + QStringLiteral("/data"), root + QStringLiteral("/new"),
                                    root + QStringLiteral("/old/new below old")}));
        // One step per folder entered: the root, data, exact, new, old, its child, Old.
        QCOMPARE(steps, 7);

        // A step that answers false stops the search.
        QStringList stopped;
        TKestrelFolders::FindNewFolders(root, QStringLiteral("01/01/2000"), stopped,
                                        [] { return false; });
        QVERIFY(stopped.isEmpty());

        QVERIFY_THROWS_EXCEPTION(KestrelError, TKestrelFolders::FindNewFolders(
                                                   root, QStringLiteral("2000-01-01"), list));
    }
};

QTEST_GUILESS_MAIN(TestKestrelFolders)
#include "tst_kestrelfolders.moc"
