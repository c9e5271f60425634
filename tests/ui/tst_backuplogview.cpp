#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "ui/BackUpLogPage.h"
#include "ui/BackUpLogView.h"
#include "ui/SummaryPage.h"
#include "ui/TreeImages.h"
#include "ui/frmKestrelClientMain.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// The log tree and the "Backup Log" menu on a real main window.
class TestBackUpLogView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TfrmKestrelClientMain> window;

    static QByteArray line(const char* path, const char* backupDate, int id = 0)
    {
        return QByteArray(path) + ";01/03/2004 10:00:00;37 KB;" + backupDate + ";" +
               QByteArray::number(id) + "\r\n";
    }

    QString writeLog(const QByteArray& content)
    {
        const QString log = TQuayRegistryObject().ReadLogFile();
        QFile file(log);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return log;
    }

    void open(bool loadLogTree)
    {
        TQuayRegistryObject().WriteWizzardRun(true);
        TQuayRegistryObject().WriteLoadLogTree(loadLogTree);
        window = std::make_unique<TfrmKestrelClientMain>();
    }

    QTreeWidget* tree() const { return window->backUpLogPage->trvBackUpLog; }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup()
    {
        window.reset();
        env.reset();
    }

    void recordsOfOneFileShareItsNode()
    {
        writeLog(line("/d/Docs/a.txt", "02/03/2004 10:00:00") +
                 line("/d/Docs/b.zip", "03/03/2004") +
                 line("/d/Docs/a.txt", "04/03/2004 21:40:07", 5) +
                 line("/d/Docs/a.txt", "05/03/2004 08:00:00"));
        open(true);
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree()->topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("/"));
        QCOMPARE(TreeImages::image(root), 0);
        QTreeWidgetItem* docs = root->child(0)->child(0);
        QCOMPARE(docs->text(0), QStringLiteral("Docs"));
        QCOMPARE(TreeImages::image(docs), 1);
        QCOMPARE(docs->childCount(), 2);
        QTreeWidgetItem* a = docs->child(0);
        QCOMPARE(TreeImages::image(a), 2);
        QCOMPARE(TreeImages::image(docs->child(1)), 4);
        QCOMPARE(a->childCount(), 3);
        QCOMPARE(a->child(0)->text(0),
                 QStringLiteral("ID: 0, Back up date: 02/03/2004 10:00:00, File size: 37 KB"));
        QCOMPARE(a->child(1)->text(0),
                 QStringLiteral("ID: 5, Back up date: 04/03/2004 21:40:07, File size: 37 KB"));
        QCOMPARE(TreeImages::image(a->child(2)), 3);
        QCOMPARE(docs->child(1)->child(0)->text(0),
                 QStringLiteral("ID: 0, Back up date: 03/03/2004, File size: 37 KB"));
        QCOMPARE(window->backUpLogPage->gpbBackedUpFiles->title(),
                 QStringLiteral("Backed Up Files"));
    }

    // After a sequence the tree is reloaded only when the log changed since it was read.
    void refreshReloadsOnlyAChangedLog()
    {
        const QString log = writeLog(line("/d/a.txt", "02/03/2004 10:00:00"));
        open(true);
        QTreeWidgetItem* shown = tree()->topLevelItem(0);
        window->logView->RefreshLogTree(log);
        QCOMPARE(tree()->topLevelItem(0), shown);

        QFile more(log);
        QVERIFY(more.open(QIODevice::Append));
        more.write(line("/e/b.txt", "03/03/2004 10:00:00"));
        more.close();
        window->logView->RefreshLogTree(log);
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QCOMPARE(tree()->topLevelItem(0)->childCount(), 2); // d and e

        // Rewritten to the same length: still a change.
        writeLog(line("/f/a.txt", "02/03/2004 10:00:00"));
        window->logView->RefreshLogTree(log);
        QCOMPARE(tree()->topLevelItem(0)->childCount(), 1);
        QCOMPARE(tree()->topLevelItem(0)->child(0)->text(0), QStringLiteral("f"));
    }

    void unloadedLogLoadsWhenThePageIsShown()
    {
        writeLog(line("/d/a.txt", "02/03/2004 10:00:00"));
        open(false);
        QCOMPARE(tree()->topLevelItemCount(), 0);
        window->show();
        window->pgcKestrel->setCurrentWidget(window->backUpLogPage);
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QVERIFY(env->prompt.questions().isEmpty());
    }

    void largeLogAsksEachTimeThePageIsShown()
    {
        QByteArray big;
        while (big.size() <= 300000)
            big += line("/d/a.txt", "02/03/2004 10:00:00");
        writeLog(big);
        open(false);
        window->show();
        env->prompt.queueAnswer(Prompt::Answer::No);
        window->pgcKestrel->setCurrentWidget(window->backUpLogPage);
        QCOMPARE(tree()->topLevelItemCount(), 0);
        window->pgcKestrel->setCurrentWidget(window->summaryPage);
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        window->pgcKestrel->setCurrentWidget(window->backUpLogPage);
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QCOMPARE(env->prompt.questions(),
                 QStringList(2, QStringLiteral("Load the log file?  If this file is large it may "
                                               "take several minutes to load.")));
    }

    void damagedLinesAreReportedOnceAndSkipped()
    {
        writeLog(
            line("/d/a.txt", "02/03/2004 10:00:00") + "/d/b.txt;bad date;1 KB;02/03/2004;0\r\n" +
            "/d/c.txt;01/03/2004;1 KB;02/03/2004;x\r\n" + line("/d/d.txt", "02/03/2004 10:00:00"));
        open(true);
        QCOMPARE(env->prompt.notices().size(), 1);
        QCOMPARE(env->prompt.notices().first(),
                 QStringLiteral("Error reading log file.\nLines not read: 2, 3"));
        QCOMPARE(tree()->topLevelItem(0)->child(0)->childCount(), 2);
    }

    void newLogFileBecomesTheLog()
    {
        const QString log = writeLog(line("/d/a.txt", "02/03/2004 10:00:00"));
        open(true);
        env->prompt.queueText(QStringLiteral("2005"));
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        window->findChild<QAction*>(QStringLiteral("New1"))->trigger();
        const QString expected = QFileInfo(log).absolutePath() + QStringLiteral("/2005.txt");
        QCOMPARE(TQuayRegistryObject().ReadLogFile(), expected);
        QVERIFY(QFile::exists(expected));
        QCOMPARE(tree()->topLevelItemCount(), 0);

        env->prompt.queueText(QStringLiteral("2005"));
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        QVERIFY_THROWS_EXCEPTION(std::exception, window->logView->newLogFile());
    }

    void openingAnotherLog()
    {
        const QString log = writeLog(line("/d/a.txt", "02/03/2004 10:00:00"));
        open(true);
        const QString wrong = env->writeFile(QStringLiteral("wrong.txt"), "not a log\r\n");
        env->prompt.queueText(wrong);
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        window->findChild<QAction*>(QStringLiteral("Open1"))->trigger();
        QCOMPARE(env->prompt.notices().last(), QStringLiteral("File format incorrect."));
        QCOMPARE(TQuayRegistryObject().ReadLogFile(), log);

        const QString other =
            env->writeFile(QStringLiteral("other.txt"),
                           line("/e/x.txt", "02/03/2004") + line("/e/y.txt", "02/03/2004"));
        env->prompt.queueText(other);
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        window->logView->openExistingLogFile();
        QCOMPARE(env->prompt.notices().last(), QStringLiteral("Existing log file saved as ") + log);
        QCOMPARE(TQuayRegistryObject().ReadLogFile(), other);
        QCOMPARE(tree()->topLevelItem(0)->child(0)->childCount(), 2);
    }

    void archiveReportsEachStep()
    {
        writeLog(line("/d/a.txt", "02/03/2004 10:00:00") + line("/d/a.txt", "03/03/2004 10:00:00"));
        open(true);
        window->findChild<QAction*>(QStringLiteral("ArchiveLogFile1"))->trigger();
        const QStringList memo = window->summaryPage->statusText().split(QLatin1Char('\n'));
        QVERIFY(memo.first().startsWith(QStringLiteral("Existing log file archived as: ")));
        QVERIFY(memo.first().endsWith(QStringLiteral("Log - 26-12-07 20-54-48.Txt")));
        QCOMPARE(memo.mid(1), (QStringList{"Purging existing log file, please wait...",
                                           "Log filed purged successfully.",
                                           "Refreshing log file tree...", "Archive complete."}));
        QCOMPARE(tree()->topLevelItem(0)->child(0)->child(0)->childCount(), 1);
    }
};

QTEST_MAIN(TestBackUpLogView)
#include "tst_backuplogview.moc"
