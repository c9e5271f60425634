#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "ui/ExclusionsEditor.h"
#include "ui/FileSelectionPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/PathTree.h"
#include "ui/TreeImages.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// The two selection pages: adding through the dialogs, removing with the question and
// the save after it, the lists on disk and the change flags, the new-folder search, and
// what is left out: the list of patterns and the test field.
class TestSelectionPages : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void write(const QString& path, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QString filesList() { return TQuayRegistryObject().ReadFileOfFiles(); }
    static QString foldersList() { return TQuayRegistryObject().ReadFileOfDirectories(); }

    // "path:image" of every node in tree order.
    static QStringList shape(const SelectionTree& tree, const QString& above = {})
    {
        QStringList lines;
        for (const SelectionTreeNode& node : tree) {
            const QString path = joinSelectionPath({above, node.text});
            lines << path + ":" + QString::number(node.image) << shape(node.children, path);
        }
        return lines;
    }

    static void select(PathTree* tree, const QStringList& components)
    {
        const PathTree::Match match = tree->FindDeepestNode(components);
        QCOMPARE(match.depth, components.size());
        tree->tree()->setCurrentItem(match.node);
    }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup()
    {
        QVERIFY2(env->prompt.unexpected().isEmpty(),
                 qPrintable(env->prompt.unexpected().join(" | ")));
        env.reset();
    }

    void browseAddsWhatWasChosen()
    {
        FileSelectionPage files;
        files.setIconKeyList({"drive", "folder", "kestrelbackupfolder", "kestrelbackedupfolder",
                              ".zip", "unkownfiletype"});
        // Several files chosen at once are all added; an unlistable one is told and skipped.
        env->prompt.queueFiles(QStringList{"/Docs/b.zip", "/Docs/bad\nname.txt", "/Mail/c.txt"});
        env->prompt.queueFiles(std::nullopt);
        files.btnFileBrowse->click();
        files.btnFileBrowse->click();
        QCOMPARE(files.trvFiles->topLevelItemCount(), 1);
        QCOMPARE(files.trvFiles->topLevelItem(0)->childCount(), 2);
        QVERIFY(files.filesTree->FindDeepestNode({"/", "Mail", "c.txt"}).node);
        QTreeWidgetItem* zip = files.filesTree->FindDeepestNode({"/", "Docs", "b.zip"}).node;
        QVERIFY(zip);
        QCOMPARE(zip->parent()->childCount(), 1);
        QCOMPARE(TreeImages::image(zip), 4);
        QVERIFY(zip->parent()->isExpanded());
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY(env->prompt.notices().first().contains("cannot be kept"));

        FolderSelectionPage folders;
        env->prompt.queueText("/srv/data/");
        env->prompt.queueText("/srv/line\rbreak");
        folders.btnBrowseForFolder->click();
        folders.btnBrowseForFolder->click();
        QCOMPARE(PathTree::nodePath(folders.trvFolders->topLevelItem(0)->child(0)->child(0)),
                 QString("/srv/data"));
        QCOMPARE(env->prompt.notices().size(), 2);
    }

    void fileRemoval()
    {
        write(filesList(), "/Docs/a.txt\r\n/Other/b.txt\r\n");
        FileSelectionPage page;
        QVERIFY(page.loadList());

        select(page.filesTree, {"/", "Docs", "a.txt"});
        env->prompt.queueAnswer(Prompt::Answer::No);
        page.BtnRemoveSelectedFiles->click();
        QCOMPARE(env->prompt.questions(), QStringList{"Remove \"a.txt\" file from back up list?"});
        QCOMPARE(page.trvFiles->topLevelItem(0)->childCount(), 2);
        QCOMPARE(read(filesList()), QByteArray("/Docs/a.txt\r\n/Other/b.txt\r\n"));

        env->prompt.queueAnswer(Prompt::Answer::Yes);
        page.BtnRemoveSelectedFiles->click();
        QCOMPARE(page.trvFiles->topLevelItem(0)->childCount(), 1);
        QCOMPARE(read(filesList()), QByteArray("/Other/b.txt\r\n"));

        // The last entry removed: the list is emptied, so it does not come back.
        select(page.filesTree, {"/", "Other", "b.txt"});
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        page.removeSelected();
        QCOMPARE(page.trvFiles->topLevelItemCount(), 0);
        QCOMPARE(read(filesList()), QByteArray());

        // Nothing selected, nothing asked.
        page.removeSelected();
        QCOMPARE(env->prompt.questions().size(), 3);
    }

    void folderRemoval()
    {
        FolderSelectionPage page;
        for (const char* path : {"/Docs/Letters", "/Docs", "/Docs/Old/2004", "/Other"})
            page.foldersTree->InsertFolderPath(path);

        select(page.foldersTree, {"/", "Docs"});
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        page.btnRemoveDir->click();
        QCOMPARE(env->prompt.questions(), QStringList{"Remove \"Docs\" folder from back up list?"});
        QCOMPARE(read(foldersList()), QByteArray("/Docs/Letters\r\n/Docs/Old/2004\r\n/Other\r\n"));

        // Docs is a path node now: removing it takes every selected folder below it.
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        page.removeSelected();
        QCOMPARE(read(foldersList()), QByteArray("/Other\r\n"));

        // A selected parent is not cleaned up with its last sub-folder.
        page.foldersTree->InsertFolderPath("/Other/Sub");
        select(page.foldersTree, {"/", "Other", "Sub"});
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        page.removeSelected();
        QCOMPARE(read(foldersList()), QByteArray("/Other\r\n"));

        env->prompt.queueAnswer(Prompt::Answer::No);
        page.removeSelected();
        QCOMPARE(page.trvFolders->topLevelItem(0)->childCount(), 1);
    }

    void listRoundTrip()
    {
        FolderSelectionPage folders;
        for (const char* path : {"/home/ann/Docs", "/home/ann", "/home/ann/docs", "/srv", "/"})
            folders.foldersTree->InsertFolderPath(path);
        FileSelectionPage files;
        for (const char* path : {"/home/ann/z.txt", "/home/ann/a b;c.zip", "/home/ann/Ünï.txt"})
            files.filesTree->InsertFilePath(path);
        QVERIFY(folders.saveList());
        QVERIFY(files.saveList());

        FolderSelectionPage foldersAgain;
        FileSelectionPage filesAgain;
        QVERIFY(foldersAgain.loadList());
        QVERIFY(filesAgain.loadList());
        QCOMPARE(shape(foldersAgain.foldersTree->selectionTree()),
                 shape(folders.foldersTree->selectionTree()));
        QCOMPARE(shape(filesAgain.filesTree->selectionTree()),
                 shape(files.filesTree->selectionTree()));

        // An empty tree leaves its list as it is.
        FileSelectionPage empty;
        QVERIFY(empty.saveList());
        QCOMPARE(read(filesList()).count("\r\n"), 3);
    }

    void changeFlags()
    {
        const TQuayRegistryObject store;
        FileSelectionPage page;
        page.filesTree->InsertFilePath("/kept/a.txt");
        write(filesList(), "/added/b.txt\r\n");

        page.reloadIfChanged();
        QCOMPARE(page.trvFiles->topLevelItem(0)->childCount(), 1);

        store.WriteFileListHasChanged(true);
        page.show();
        QTRY_VERIFY(!store.ReadFileListHasChanged());
        QCOMPARE(page.trvFiles->topLevelItem(0)->childCount(), 2);

        // A list whose file is missing is skipped and keeps its flag.
        QFile::remove(foldersList());
        store.WriteFolderListHasChanged(true);
        FolderSelectionPage folders;
        folders.reloadIfChanged();
        QVERIFY(store.ReadFolderListHasChanged());

        // Entries another program appended are not lost when the tree is saved first.
        write(foldersList(), "/srv\r\n");
        folders.foldersTree->InsertFolderPath("/home");
        QVERIFY(folders.saveList());
        QCOMPARE(read(foldersList()), QByteArray("/home\r\n/srv\r\n"));
        QVERIFY(!store.ReadFolderListHasChanged());
    }

    void unreadableList()
    {
        // A folder where the list should be: it can be neither read nor written.
        const TQuayRegistryObject store;
        const QString list = env->path("home/Files.Txt");
        QVERIFY(QDir().mkpath(list));
        store.WriteFileOfFiles(list);
        store.WriteFileListHasChanged(true);
        FileSelectionPage page;
        QVERIFY(!page.loadList());
        page.filesTree->InsertFilePath("/a.txt");
        QVERIFY(!page.saveList());
        select(page.filesTree, {"/", "a.txt"});
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        page.removeSelected();
        QCOMPARE(env->prompt.notices().size(), 3);
        QVERIFY(env->prompt.notices().last().contains(list));
        QCOMPARE(page.trvFiles->topLevelItemCount(), 1);
        QVERIFY(store.ReadFileListHasChanged());
        QVERIFY(QFileInfo(list).isDir());
    }

    void newFolderSearch()
    {
        const TQuayRegistryObject store;
        store.WriteFolderSearchDate("01/01/2000");
        for (const char* name : {"Alpha", "Beta", "Gamma"})
            QVERIFY(QDir().mkpath(QDir::homePath() + "/" + name));
        FolderSelectionPage page;

        env->prompt.queueAnswer(Prompt::Answer::No);
        page.findNewFolders();
        QCOMPARE(page.trvFolders->topLevelItemCount(), 0);

        env->prompt.queueAnswer(Prompt::Answer::Yes);
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        env->prompt.queueAnswer(Prompt::Answer::Cancel);
        page.findNewFolders();
        QCOMPARE(env->prompt.questions().at(2),
                 QString("Add folder: \"%1/Alpha\" to back up folders?").arg(QDir::homePath()));
        QCOMPARE(env->prompt.questions().size(), 4);
        const QStringList alpha = selectionPathComponents(QDir::homePath() + "/Alpha");
        QCOMPARE(page.foldersTree->FindDeepestNode(alpha).depth, alpha.size());
        QCOMPARE(store.ReadFolderSearchDate(), QString("01/01/2000"));
        QVERIFY(env->clock.waits().contains(2000));

        for (int i = 0; i < 4; ++i)
            env->prompt.queueAnswer(i == 0 ? Prompt::Answer::Yes : Prompt::Answer::No);
        page.findNewFolders();
        QCOMPARE(store.ReadFolderSearchDate(), env->clock.now().date().toString("dd/MM/yyyy"));

        store.WriteFolderSearchDate("01/01/2100");
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        page.findNewFolders();
        QCOMPARE(env->prompt.notices(), QStringList{"No new folders found"});
    }

    void exclusionsListKeepsTheFileBytes()
    {
        const TQuayRegistryObject store;
        const QString list = env->path("home/Exclude.Txt");
        store.WriteFileOfExclusions(list);
        // A pattern for a Latin-1 name, a comment, a blank line; LF only.
        write(list, "caf\xe9.txt\n# keep builds out\n\n*.tmp\n");
        FolderSelectionPage page;
        page.loadList();
        ExclusionsEditor* editor = page.exclusions;
        QCOMPARE(editor->lsbExclusions->count(), 3);

        editor->edtExclusionPattern->setText("  node_modules/ ");
        editor->btnAddExclusion->click();
        QCOMPARE(read(list), QByteArray("caf\xe9.txt\r\n# keep builds out\r\n*.tmp\r\n"
                                        "node_modules/\r\n"));
        QVERIFY(editor->edtExclusionPattern->text().isEmpty());

        editor->lsbExclusions->item(1)->setSelected(true);
        editor->lsbExclusions->item(2)->setSelected(true);
        editor->btnRemoveExclusion->click();
        QCOMPARE(read(list), QByteArray("caf\xe9.txt\r\nnode_modules/\r\n"));
        QCOMPARE(QFileInfo(list).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

        // An edited line is written as its new text.
        editor->lsbExclusions->item(1)->setText("build/");
        QCOMPARE(read(list), QByteArray("caf\xe9.txt\r\nbuild/\r\n"));

        editor->ckbExcludeCacheFolders->setChecked(!editor->ckbExcludeCacheFolders->isChecked());
        editor->spnExcludeLargerThanMB->setValue(7);
        QCOMPARE(store.ReadExcludeCacheFolders(), editor->ckbExcludeCacheFolders->isChecked());
        QCOMPARE(store.ReadExcludeFilesLargerThanMB(), 7);

        // A list that cannot be read is told and never written over.
        const QString folder = env->path("home/Unreadable.Txt");
        QVERIFY(QDir().mkpath(folder));
        store.WriteFileOfExclusions(folder);
        QVERIFY(!editor->load());
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY(!editor->btnAddExclusion->isEnabled());
    }

    void exclusionTestField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("verdict");
        const QString kept = "Backed up: nothing leaves it out.";
        QTest::newRow("pattern") << "<root>/Proj/a.tmp"
                                 << "Left out: Exclude.Txt line 1: *.tmp";
        QTest::newRow("taken back") << "<root>/Proj/keep.tmp" << kept;
        QTest::newRow("below a left-out folder")
            << "<root>/Proj/node_modules/x/y.js"
            << "Left out with the folder <root>/Proj/node_modules: Exclude.Txt line 2: "
               "node_modules/";
        QTest::newRow("anchored at the selected folder, not deeper")
            << "<root>/Proj/sub/out/" << kept;
        QTest::newRow("anchored") << "<root>/Proj/out/"
                                  << "Left out: Exclude.Txt line 4: /out/";
        QTest::newRow("cache folder")
            << "<root>/Proj/cache/data.bin"
            << "Left out with the folder <root>/Proj/cache: cache folder (CACHEDIR.TAG)";
        QTest::newRow("wrong signature") << "<root>/Proj/notcache/data.bin" << kept;
        QTest::newRow("too large") << "<root>/Proj/big.iso"
                                   << "Left out: larger than 1 MB";
        QTest::newRow("below no selected folder")
            << "<root>/Elsewhere/b.tmp"
            << "Left out: Exclude.Txt line 1: *.tmp (below no selected folder: matched by its "
               "name, as a file picked on its own)";
        QTest::newRow("not a whole path") << "Proj/a.tmp"
                                          << "Type a whole path, from / or ~ (as ~/notes.txt).";
    }

    void exclusionTestField()
    {
        QFETCH(QString, typed);
        QFETCH(QString, verdict);
        const TQuayRegistryObject store;
        store.WriteFileOfExclusions(
            env->writeFile("home/Exclude.Txt", "*.tmp\nnode_modules/\n!keep.tmp\n/out/\n"));
        store.WriteExcludeCacheFolders(true);
        store.WriteExcludeFilesLargerThanMB(1);
        env->writeFile("Proj/cache/CACHEDIR.TAG",
                       "Signature: 8a477f597d28d172789f06886806bc55\n# a cache\n");
        env->writeFile("Proj/notcache/CACHEDIR.TAG", "Signature: 0000\n");
        QFile big(env->writeFile("Proj/big.iso", {}));
        QVERIFY(big.resize(2 * 1024 * 1024));

        FolderSelectionPage page;
        page.loadList();
        page.foldersTree->InsertFolderPath(env->path("Proj"));
        page.exclusions->edtExclusionTest->setText(QString(typed).replace("<root>", env->root()));
        QCOMPARE(page.exclusions->lblExclusionVerdict->text(),
                 QString(verdict).replace("<root>", env->root()));
    }
};

QTEST_MAIN(TestSelectionPages)
#include "tst_selectionpages.moc"
