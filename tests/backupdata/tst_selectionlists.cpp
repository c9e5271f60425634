#include "backupdata/SelectionList.h"
#include "backupdata/SelectionListChanges.h"
#include "backupdata/SelectionListText.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QtTest>

namespace {

SelectionTreeNode node(const QString& text, int image, std::vector<SelectionTreeNode> children = {})
{
    return SelectionTreeNode{text, image, std::move(children)};
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

// "/" > "home" > "ann" (path nodes) > "Letters" (selected, with the selected
// sub-folder "2004") and "Photos" (selected); "/srv" selected on its own.
SelectionTree folderTree()
{
    SelectionTree tree;
    tree.push_back(
        node(QStringLiteral("/"), 0,
             {node(QStringLiteral("home"), 1,
                   {node(QStringLiteral("ann"), 1,
                         {node(QStringLiteral("Letters"), 2, {node(QStringLiteral("2004"), 2)}),
                          node(QStringLiteral("Photos"), 2)})}),
              node(QStringLiteral("srv"), 2)}));
    return tree;
}

} // namespace

// Reading and writing Files.Txt and Dirs.Txt, and the change flags.
class TestSelectionLists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readList_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("entries");
        const QStringList two{QStringLiteral("/home/ann/a.txt"), QStringLiteral("/home/ann/b c")};
        QTest::newRow("CR LF") << QByteArray("/home/ann/a.txt\r\n/home/ann/b c\r\n") << two;
        QTest::newRow("LF, no final line end")
            << QByteArray("/home/ann/a.txt\n/home/ann/b c") << two;
        QTest::newRow("blank lines and indentation")
            << QByteArray("\r\n\r\n   /home/ann/a.txt\r\n\t \r\n\t/home/ann/b c\r\n\r\n") << two;
        QTest::newRow("trailing Ctrl-Z")
            << QByteArray("/home/ann/a.txt\r\n/home/ann/b c\r\n\x1A") << two;
        QTest::newRow("Ctrl-Z ends the text")
            << QByteArray("/home/ann/a.txt\r\n/home/ann/b c\x1A\r\n/ignored\r\n") << two;
        QTest::newRow("trailing blanks are part of the name")
            << QByteArray("/home/ann/name \r\n") << QStringList{QStringLiteral("/home/ann/name ")};
        QTest::newRow("UTF-8 and an 8-bit line")
            << QByteArray("/home/zo\xc3\xab/Stra\xc3\x9f"
                          "e\r\n/home/zo\xeb\r\n")
            << QStringList{QStringLiteral("/home/zoë/Straße"), QStringLiteral("/home/zoë")};
        QTest::newRow("semicolons and hashes")
            << QByteArray("/a;b#c\r\n") << QStringList{QStringLiteral("/a;b#c")};
        QTest::newRow("empty file") << QByteArray() << QStringList();
    }

    void readList()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, entries);
        TestEnvironment env;
        QCOMPARE(readSelectionList(env.writeFile(QStringLiteral("Files.Txt"), content)), entries);
    }

    void longListAcrossReadChunks()
    {
        // The reader works in 1 MiB chunks: put a CR LF astride the first boundary and
        // a line astride the second, then a Ctrl-Z.
        const qsizetype chunk = 1 << 20;
        QByteArray content;
        QStringList expected;
        const auto addLine = [&](const QByteArray& entry) {
            content.append(entry).append("\r\n");
            expected.append(QString::fromLatin1(entry));
        };
        for (int i = 0; content.size() < chunk - 100; ++i)
            addLine("/home/ann/file-" + QByteArray::number(i));
        addLine("/" + QByteArray(chunk - 1 - content.size() - 1, 'a'));
        QCOMPARE(content.at(chunk - 1), '\r');
        for (int i = 0; content.size() < 2 * chunk - 10; ++i)
            addLine("/home/ann/second-" + QByteArray::number(i));
        addLine("/home/ann/across the boundary");
        content.append("\x1A/never\r\n");
        TestEnvironment env;
        QCOMPARE(readSelectionList(env.writeFile(QStringLiteral("Dirs.Txt"), content)), expected);
    }

    void readMissingOrUnreadable()
    {
        TestEnvironment env;
        QVERIFY(readSelectionList(env.path(QStringLiteral("none.txt"))).isEmpty());
        // A folder in place of the list cannot be read as one: the error names the path.
        const QString folder = env.path(QStringLiteral("folder/x"));
        QDir().mkpath(folder);
        try {
            readSelectionList(folder);
            QFAIL("no error");
        } catch (const KestrelError& error) {
            QCOMPARE(error.message(), folder);
        }
    }

    void entriesFromTrees()
    {
        const SelectionListEntries folders =
            selectionListEntries(folderTree(), SelectionListKind::Folders);
        QCOMPARE(folders.entries,
                 (QStringList{QStringLiteral("/home/ann/Letters"),
                              QStringLiteral("/home/ann/Letters/2004"),
                              QStringLiteral("/home/ann/Photos"), QStringLiteral("/srv")}));
        // In the files list, only nodes without children are entries.
        const SelectionListEntries files =
            selectionListEntries(folderTree(), SelectionListKind::Files);
        QCOMPARE(files.entries,
                 (QStringList{QStringLiteral("/home/ann/Letters/2004"),
                              QStringLiteral("/home/ann/Photos"), QStringLiteral("/srv")}));
        // The root alone is the whole file system.
        SelectionTree root;
        root.push_back(node(QStringLiteral("/"), 2));
        QCOMPARE(selectionListEntries(root, SelectionListKind::Folders).entries,
                 QStringList{QStringLiteral("/")});
    }

    void writeAndReadBack()
    {
        TestEnvironment env;
        const QString path = env.path(QStringLiteral("Dirs.Txt"));
        QVERIFY(writeSelectionList(path, folderTree(), SelectionListKind::Folders).isEmpty());
        QCOMPARE(contentOf(path), QByteArray("/home/ann/Letters\r\n/home/ann/Letters/2004\r\n"
                                             "/home/ann/Photos\r\n/srv\r\n"));
        QCOMPARE(readSelectionList(path),
                 selectionListEntries(folderTree(), SelectionListKind::Folders).entries);
    }

    void emptyTreeLeavesTheFileAlone()
    {
        TestEnvironment env;
        const QString path = env.writeFile(QStringLiteral("Files.Txt"), "/kept\r\n");
        QVERIFY(writeSelectionList(path, {}, SelectionListKind::Files).isEmpty());
        QCOMPARE(contentOf(path), QByteArray("/kept\r\n"));
        const QString missing = env.path(QStringLiteral("Missing.Txt"));
        writeSelectionList(missing, {}, SelectionListKind::Files);
        QVERIFY(!QFile::exists(missing));
    }

    void namesWithLineBreaksAreRefused()
    {
        TestEnvironment env;
        SelectionTree tree;
        tree.push_back(node(QStringLiteral("/"), 0,
                            {node(QStringLiteral("two\nlines"), 2), node(QStringLiteral("a;b"), 2),
                             node(QStringLiteral("cr\r"), 2)}));
        const QString path = env.path(QStringLiteral("Files.Txt"));
        const QStringList refused = writeSelectionList(path, tree, SelectionListKind::Files);
        QCOMPARE(refused.size(), 2);
        QCOMPARE(refused.at(0), unlistableNameMessage(QStringLiteral("/two\nlines")));
        QVERIFY(refused.at(0).contains(QStringLiteral("/two\\nlines")));
        QCOMPARE(contentOf(path), QByteArray("/a;b\r\n"));
        QVERIFY(isListableName(QStringLiteral("/a;b #c")));
        QVERIFY(!isListableName(QStringLiteral("/a\x1A")));
    }

    void unwritableListNamesThePath()
    {
        TestEnvironment env;
        const QString path = env.root() + QStringLiteral("/no such folder/Files.Txt");
        try {
            writeSelectionList(path, folderTree(), SelectionListKind::Files);
            QFAIL("no error");
        } catch (const KestrelError& error) {
            QCOMPARE(error.message(), path);
        }
    }

    void pathComponents()
    {
        const QStringList components = selectionPathComponents(QStringLiteral("/home//ann/"));
        QCOMPARE(components,
                 (QStringList{QStringLiteral("/"), QStringLiteral("home"), QStringLiteral("ann")}));
        QCOMPARE(joinSelectionPath(components), QStringLiteral("/home/ann"));
        QCOMPARE(joinSelectionPath({QStringLiteral("/")}), QStringLiteral("/"));
    }

    void changeFlags()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        // Flag clear: nothing to read.
        QVERIFY(!takeChangedSelectionList(SelectionListKind::Files));

        // Flag set but no list file: skipped, the flag keeps its value.
        store.WriteFolderListHasChanged(true);
        QVERIFY(!QFile::exists(store.ReadFileOfDirectories()));
        QVERIFY(!takeChangedSelectionList(SelectionListKind::Folders));
        QVERIFY(store.ReadFolderListHasChanged());

        // Flag set and the file there: read, and the flag is cleared; the other flag stays.
        QFile file(store.ReadFileOfFiles());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("/home/ann/a.txt\r\n/home/ann/new.txt\r\n");
        file.close();
        store.WriteFileListHasChanged(true);
        const std::optional<QStringList> entries =
            takeChangedSelectionList(SelectionListKind::Files);
        QVERIFY(entries);
        QCOMPARE(*entries, (QStringList{QStringLiteral("/home/ann/a.txt"),
                                        QStringLiteral("/home/ann/new.txt")}));
        QVERIFY(!store.ReadFileListHasChanged());
        QVERIFY(store.ReadFolderListHasChanged());
    }
};

QTEST_GUILESS_MAIN(TestSelectionLists)
#include "tst_selectionlists.moc"
