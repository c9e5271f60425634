#include "backupdata/SelectionList.h"
#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "winintegration/FileManagerAddition.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

// What the file-manager helper writes: files and folders each to their list in the
// list format, the change flags, no path twice, and the paths it refuses.
class TestFileManagerAddition : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static QString filesList() { return TQuayRegistryObject().ReadFileOfFiles(); }
    static QString foldersList() { return TQuayRegistryObject().ReadFileOfDirectories(); }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void filesAndFoldersGoToTheirListsOnce()
    {
        const QString report = env->writeFile("docs/report.doc", "x");
        const QString link = env->path("docs/link to report");
        QVERIFY(QFile::link(report, link));
        QVERIFY(QDir().mkpath(env->root() + "/photos/2004"));
        const QString folder = env->root() + "/photos/2004/.";

        auto result = FileManagerAddition::add({report, link, folder, report});
        QCOMPARE(result.filesAdded, 2);
        QVERIFY2(result.refused.isEmpty(), qPrintable(result.refused.join('\n')));
        QCOMPARE(result.foldersAdded, 1);
        QCOMPARE(result.alreadyListed, 1);
        QVERIFY(result.refused.isEmpty());
        QCOMPARE(contents(filesList()), (report + "\r\n" + link + "\r\n").toUtf8());
        QCOMPARE(contents(foldersList()), (env->root() + "/photos/2004\r\n").toUtf8());
        const TQuayRegistryObject store;
        QVERIFY(store.ReadFileListHasChanged());
        QVERIFY(store.ReadFolderListHasChanged());
        QCOMPARE(FileManagerAddition::summaryLine(result, "KestrelSolo"),
                 QString("Added 2 files and 1 folder to the KestrelSolo backup lists; 1 already "
                         "listed."));

        // Again, after the window took the changes: nothing new, no flag.
        store.WriteFileListHasChanged(false);
        store.WriteFolderListHasChanged(false);
        result = FileManagerAddition::add({report, folder});
        QCOMPARE(result.filesAdded + result.foldersAdded, 0);
        QCOMPARE(result.alreadyListed, 2);
        QVERIFY(!store.ReadFileListHasChanged());
        QVERIFY(!store.ReadFolderListHasChanged());
    }

    void aListWithoutItsLastLineEndIsNotJoined()
    {
        const QString existing = env->writeFile("docs/a.txt", "a");
        const QString added = env->writeFile("docs/b.txt", "b");
        QVERIFY(QDir().mkpath(QFileInfo(filesList()).absolutePath()));
        QFile list(filesList());
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("  " + existing.toUtf8());
        list.close();
        QCOMPARE(FileManagerAddition::add({existing, added}).filesAdded, 1);
        QCOMPARE(readSelectionList(filesList()), QStringList({existing, added}));
    }

    void otherPathsAreRefusedAndNothingIsWritten()
    {
        const QString withLineBreak = env->writeFile("docs/two\nnames", "x");
        const auto result =
            FileManagerAddition::add({"/dev/null", env->root() + "/missing.txt", withLineBreak});
        QCOMPARE(result.refused.size(), 3);
        QVERIFY(result.refused[0].contains("neither a file nor a folder"));
        QVERIFY(result.refused[1].contains("does not exist"));
        QVERIFY(result.refused[2].contains("line break"));
        QVERIFY(!QFile::exists(filesList()));
        QVERIFY(!QFile::exists(foldersList()));
        QVERIFY(!TQuayRegistryObject().ReadFileListHasChanged());
        QCOMPARE(FileManagerAddition::summaryLine(result, "KestrelDrive"),
                 QString("Added 0 files and 0 folders to the KestrelDrive backup lists; 3 "
                         "refused."));
    }

    void anUnwritableListIsReportedNotClaimed()
    {
        const QString report = env->writeFile("docs/report.doc", "x");
        TQuayRegistryObject().WriteFileOfFiles(env->root() + "/no such folder/Files.Txt");
        const auto result = FileManagerAddition::add({report});
        QCOMPARE(result.filesAdded, 0);
        QCOMPARE(result.failedLists.size(), 1);
        QVERIFY(!TQuayRegistryObject().ReadFileListHasChanged());
    }
};

QTEST_GUILESS_MAIN(TestFileManagerAddition)
#include "tst_filemanageraddition.moc"
