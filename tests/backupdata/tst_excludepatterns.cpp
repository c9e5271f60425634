#include "backupdata/CacheDirTag.h"
#include "backupdata/ExcludePatterns.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The exclusion patterns decide with the rules of .gitignore files, byte for byte;
// each row is a pattern text, a path below the selected folder and the line that
// should decide about it (0: none, the entry is kept).
class TestExcludePatterns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matching_data()
    {
        QTest::addColumn<QByteArray>("patterns");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<bool>("leftOut");
        QTest::addColumn<int>("line");

        const QByteArray none;
        QTest::newRow("no patterns") << none << QByteArray("a.tmp") << false << false << 0;
        QTest::newRow("name at any depth")
            << QByteArray("*.tmp") << QByteArray("a/b/c.tmp") << false << true << 1;
        QTest::newRow("star stops at a slash")
            << QByteArray("a*c") << QByteArray("ab/c") << false << false << 0;
        QTest::newRow("question mark")
            << QByteArray("?.o") << QByteArray("x/y.o") << false << true << 1;
        QTest::newRow("set and range")
            << QByteArray("file[0-9].txt") << QByteArray("file7.txt") << false << true << 1;
        QTest::newRow("negated set")
            << QByteArray("file[!0-9].txt") << QByteArray("file7.txt") << false << false << 0;
        QTest::newRow("named class")
            << QByteArray("[[:upper:]]*") << QByteArray("Readme") << false << true << 1;
        QTest::newRow("unclosed set matches nothing")
            << QByteArray("a[b") << QByteArray("a[b") << false << false << 0;
        QTest::newRow("leading slash anchors")
            << QByteArray("/build") << QByteArray("src/build") << true << false << 0;
        QTest::newRow("leading slash at the top")
            << QByteArray("/build") << QByteArray("build") << true << true << 1;
        QTest::newRow("middle slash anchors")
            << QByteArray("doc/*.html") << QByteArray("x/doc/a.html") << false << false << 0;
        QTest::newRow("middle slash at the top")
            << QByteArray("doc/*.html") << QByteArray("doc/a.html") << false << true << 1;
        QTest::newRow("**/ at any depth")
            << QByteArray("**/logs") << QByteArray("a/b/logs") << true << true << 1;
        QTest::newRow("**/ with no folder")
            << QByteArray("**/logs") << QByteArray("logs") << true << true << 1;
        QTest::newRow("/** everything inside")
            << QByteArray("out/**") << QByteArray("out/a/b.o") << false << true << 1;
        QTest::newRow("/** not the folder itself")
            << QByteArray("out/**") << QByteArray("out") << true << false << 0;
        QTest::newRow("/**/ zero folders")
            << QByteArray("a/**/b") << QByteArray("a/b") << true << true << 1;
        QTest::newRow("/**/ several folders")
            << QByteArray("a/**/b") << QByteArray("a/x/y/b") << true << true << 1;
        QTest::newRow("** inside a name is one star")
            << QByteArray("a**b") << QByteArray("a/x/b") << false << false << 0;
        QTest::newRow("trailing slash: folder")
            << QByteArray("cache/") << QByteArray("x/cache") << true << true << 1;
        QTest::newRow("trailing slash: not a file")
            << QByteArray("cache/") << QByteArray("x/cache") << false << false << 0;
        QTest::newRow("folder name pattern")
            << QByteArray("node_modules") << QByteArray("web/node_modules") << true << true << 1;
        QTest::newRow("case-sensitive")
            << QByteArray("*.TMP") << QByteArray("a.tmp") << false << false << 0;
        QTest::newRow("last line wins")
            << QByteArray("*.log\n!keep.log\n") << QByteArray("keep.log") << false << false << 2;
        QTest::newRow("negation taken back again") << QByteArray("*.log\n!keep.log\nkeep*\n")
                                                   << QByteArray("keep.log") << false << true << 3;
        QTest::newRow("comment, blank lines, line numbers")
            << QByteArray("# notes\n\n  \r\n*.bak\r\n") << QByteArray("x.bak") << false << true
            << 4;
        QTest::newRow("escaped hash")
            << QByteArray("\\#draft#") << QByteArray("#draft#") << false << true << 1;
        QTest::newRow("escaped bang")
            << QByteArray("\\!important") << QByteArray("!important") << false << true << 1;
        QTest::newRow("trailing spaces dropped")
            << QByteArray("a.txt   ") << QByteArray("a.txt") << false << true << 1;
        QTest::newRow("escaped trailing space kept")
            << QByteArray("a\\ ") << QByteArray("a ") << false << true << 1;
        QTest::newRow("non-UTF-8 name")
            << QByteArray("caf\xe9*") << QByteArray("d/caf\xe9.txt") << false << true << 1;
        QTest::newRow("non-UTF-8 name in a set")
            << QByteArray("[\xe0-\xef]x") << QByteArray("\xe9x") << false << true << 1;
        QTest::newRow("many stars stay quick") << QByteArray("*a*a*a*a*a*a*a*a*a*a*a*a*b")
                                               << QByteArray(200, 'a') << false << false << 0;
    }

    void matching()
    {
        QFETCH(QByteArray, patterns);
        QFETCH(QByteArray, path);
        QFETCH(bool, isFolder);
        QFETCH(bool, leftOut);
        QFETCH(int, line);
        const ExclusionMatch match = ExcludePatterns::parse(patterns).match(path, isFolder);
        QCOMPARE(match.leftOut, leftOut);
        QCOMPARE(match.line, line);
    }

    // As in git, a file below a left-out folder cannot be taken back.
    void ancestors_data()
    {
        QTest::addColumn<QByteArray>("patterns");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("leftOut");
        QTest::addColumn<QString>("pattern");

        QTest::newRow("below a left-out folder")
            << QByteArray("build/\n!build/keep.txt\n") << QByteArray("build/keep.txt") << true
            << "build/";
        QTest::newRow("negated inside a kept folder")
            << QByteArray("*.txt\n!keep.txt\n") << QByteArray("a/keep.txt") << false << "!keep.txt";
        QTest::newRow("deep folder")
            << QByteArray("/a/b") << QByteArray("a/b/c/d.txt") << true << "/a/b";
    }

    void ancestors()
    {
        QFETCH(QByteArray, patterns);
        QFETCH(QByteArray, path);
        QFETCH(bool, leftOut);
        QFETCH(QString, pattern);
        const ExclusionMatch match =
            ExcludePatterns::parse(patterns).matchWithAncestors(path, false);
        QCOMPARE(match.leftOut, leftOut);
        QCOMPARE(match.pattern, pattern);
    }

    void readsTheFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("Exclude.Txt");
        QVERIFY(ExcludePatterns::read(path).isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("*.tmp\r\n\x1A*.txt\r\n");
        file.close();
        const ExcludePatterns patterns = ExcludePatterns::read(path);
        // Ctrl-Z ends the text, as in the lists.
        QCOMPARE(patterns.size(), 1);
        QVERIFY(patterns.match("a.tmp", false).leftOut);
    }

    void cacheDirTag_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("tagged");
        QTest::newRow("signature") << QByteArray("Signature: 8a477f597d28d172789f06886806bc55\n"
                                                 "# This file is a cache directory tag.\n")
                                   << true;
        QTest::newRow("signature alone")
            << QByteArray("Signature: 8a477f597d28d172789f06886806bc55") << true;
        QTest::newRow("wrong signature")
            << QByteArray("Signature: 8a477f597d28d172789f06886806bc56\n") << false;
        QTest::newRow("cut short") << QByteArray("Signature: 8a477f") << false;
        QTest::newRow("not at the start")
            << QByteArray(" Signature: 8a477f597d28d172789f06886806bc55") << false;
    }

    void cacheDirTag()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, tagged);
        QTemporaryDir folder;
        QVERIFY(!CacheDirTag::isTagged(folder.path()));
        QFile tag(folder.filePath("CACHEDIR.TAG"));
        QVERIFY(tag.open(QIODevice::WriteOnly));
        tag.write(content);
        tag.close();
        QCOMPARE(CacheDirTag::isTagged(folder.path()), tagged);
    }
};

QTEST_GUILESS_MAIN(TestExcludePatterns)
#include "tst_excludepatterns.moc"
