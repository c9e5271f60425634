#include "ui/PathTree.h"
#include "ui/TreeImages.h"

#include <QTreeWidget>
#include <QtTest>

// The shared path tree: nodes and images of inserted paths, exact matching of names,
// the folders tree's order, and an index that stays right when the tree changes
// behind its back. Removal is tested through the pages.
class TestPathTree : public QObject
{
    Q_OBJECT

private:
    static QStringList iconKeys()
    {
        return {"drive", "folder",        "kestrelbackupfolder", "kestrelbackedupfolder",
                ".zip",  "unkownfiletype"};
    }

    // "text:image" of every node, depth-first, children indented by one blank per level.
    static QStringList shape(const QTreeWidget& tree)
    {
        QStringList lines;
        const std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item,
                                                                    int depth) {
            lines.append(QString(depth, u' ') + item->text(0) + ":" +
                         QString::number(TreeImages::image(item)));
            for (int i = 0; i < item->childCount(); ++i)
                walk(item->child(i), depth + 1);
        };
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            walk(tree.topLevelItem(i), 0);
        return lines;
    }

private Q_SLOTS:
    void fileInsertion_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("new path") << QStringList{"/Docs/a.txt"}
                                  << QStringList{"/:0", " Docs:1", "  a.txt:2"};
        QTest::newRow("zip reuses the path")
            << QStringList{"/Docs/a.txt", "/Docs/b.zip"}
            << QStringList{"/:0", " Docs:1", "  a.txt:2", "  b.zip:4"};
        QTest::newRow("extension case and dot files")
            << QStringList{"/d/B.ZIP", "/d/.zip", "/d/x.zip.txt", "/d/README"}
            << QStringList{"/:0", " d:1", "  B.ZIP:4", "  .zip:2", "  x.zip.txt:2", "  README:2"};
        QTest::newRow("insertion order kept")
            << QStringList{"/z/b", "/a/c", "/z/a"}
            << QStringList{"/:0", " z:1", "  b:2", "  a:2", " a:1", "  c:2"};
        QTest::newRow("case kept apart")
            << QStringList{"/Docs/a.txt", "/docs/a.txt", "/DOCS/New"}
            << QStringList{"/:0",       " Docs:1", "  a.txt:2", " docs:1",
                           "  a.txt:2", " DOCS:1", "  New:2"};
        QTest::newRow("same path twice")
            << QStringList{"/a/b", "/a//b/"} << QStringList{"/:0", " a:1", "  b:2"};
    }

    void fileInsertion()
    {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, expected);
        QTreeWidget widget;
        PathTree tree(&widget, PathTree::Kind::Files);
        tree.setIconKeyList(iconKeys());
        QTreeWidgetItem* last = nullptr;
        for (const QString& path : paths)
            last = tree.InsertFilePath(path);
        QCOMPARE(shape(widget), expected);
        QCOMPARE(PathTree::nodePath(last), QDir::cleanPath(paths.last()));
    }

    void folderInsertion_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("sorted without regard to case, exact tie-break")
            << QStringList{"/b", "/B", "/a", "/C"}
            << QStringList{"/:0", " a:2", " B:2", " b:2", " C:2"};
        QTest::newRow("selected over an existing path node")
            << QStringList{"/Docs/Letters", "/Docs"}
            << QStringList{"/:0", " Docs:2", "  Letters:2"};
        QTest::newRow("the whole file system")
            << QStringList{"/", "/home"} << QStringList{"/:2", " home:2"};
    }

    void folderInsertion()
    {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, expected);
        QTreeWidget widget;
        PathTree tree(&widget, PathTree::Kind::Folders);
        for (const QString& path : paths)
            tree.InsertFolderPath(path);
        QCOMPARE(shape(widget), expected);
    }

    void indexFollowsOutsideChanges()
    {
        QTreeWidget widget;
        PathTree tree(&widget, PathTree::Kind::Files);
        tree.InsertFilePath("/a/b");
        widget.clear();
        tree.InsertFilePath("/a/b");
        QCOMPARE(shape(widget), (QStringList{"/:0", " a:1", "  b:2"}));

        delete tree.FindDeepestNode({"/", "a"}).node;
        tree.InsertFilePath("/a/c");
        QCOMPARE(shape(widget), (QStringList{"/:0", " a:1", "  c:2"}));

        widget.topLevelItem(0)->child(0)->setText(0, "renamed");
        QCOMPARE(tree.FindDeepestNode({"/", "a"}).depth, 1);
        QCOMPARE(tree.FindDeepestNode({"/", "renamed", "c"}).depth, 3);
    }
};

QTEST_MAIN(TestPathTree)
#include "tst_pathtree.moc"
