#include "core/QuayRegistryObject.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "ui/FileSelectionPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/SummaryPage.h"
#include "ui/frmKestrelClientMain.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Whole backup sequences driven through the real main window: lists chosen with the
// pages' browse routines, "Run Back Up Now" clicked, mail delivered to a real SMTP
// server on loopback.
class TestWindowSequence : public QObject
{
    Q_OBJECT

private:
    static QStringList subjects(const SmtpSink& sink, int count)
    {
        QStringList found;
        for (int number = 1; number <= count; ++number) {
            QFile message(sink.messagePath(number));
            if (!message.open(QIODevice::ReadOnly))
                continue;
            // Long subjects are folded: a line break before white space continues the line.
            QByteArray text = message.readAll();
            text.replace("\r\n ", " ").replace("\r\n\t", "\t");
            for (const QByteArray& line : text.split('\n'))
                if (line.startsWith("Subject: "))
                    found << QString::fromUtf8(line.mid(9).trimmed());
        }
        return found;
    }

    static int logLines()
    {
        QFile log(TQuayRegistryObject().ReadLogFile());
        return log.open(QIODevice::ReadOnly) ? int(log.readAll().count('\n')) : -1;
    }

private Q_SLOTS:
    void incrementalSequencesFromTheWindow()
    {
        TestEnvironment env;
        const QString mail = env.path(QStringLiteral("mail/"));
        QDir().mkpath(mail);
        SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), mail, {});
        QVERIFY2(sink.port() != 0, qPrintable(sink.errorText()));
        const TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        store.WriteUserSMPTName(QStringLiteral("127.0.0.1"));
        store.WriteUserConnectionPort(sink.port());
        store.WriteUserSMPTServerName(QStringLiteral("ann"));
        store.WriteUserSMPTServerPassword(QStringLiteral("pw"));
        store.WriteUserBackUpEmailAddress(QStringLiteral("backup@example.org"));
        store.WriteUserZipPassword(QStringLiteral("zip secret"));
        store.WriteBackUpSubFolders(true);

        const QString a = env.writeFile(QStringLiteral("data/a.txt"), "first file");
        const QString b = env.writeFile(QStringLiteral("data/b;odd name.txt"), "second file");
        env.writeFile(QStringLiteral("data/tree/x.txt"), "in the folder");
        env.writeFile(QStringLiteral("data/tree/sub/y.txt"), "in a sub-folder");

        TfrmKestrelClientMain window;
        window.show();
        env.prompt.queueText(a);
        window.fileSelectionPage->browse();
        env.prompt.queueText(b);
        window.fileSelectionPage->browse();
        env.prompt.queueText(env.root() + QStringLiteral("/data/tree"));
        window.folderSelectionPage->browse();

        QTest::mouseClick(window.summaryPage->btnRunBackUp, Qt::LeftButton);
        QVERIFY2(QFile::exists(sink.messagePath(5)), qPrintable(window.summaryPage->statusText()));
        QStringList sent = subjects(sink, 5);
        QCOMPARE(sent.size(), 5);
        QVERIFY(sent.at(0).endsWith(a.mid(1)) || sent.at(0).contains(QStringLiteral("a.txt")));
        QVERIFY2(sent.last().contains(QStringLiteral("Log.Txt")),
                 qPrintable(sent.join(QLatin1Char('|'))));
        QCOMPARE(logLines(), 4);
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 1);
        QCOMPARE(store.ReadNumberOfFilesInLastSequence(), 4);
        QVERIFY(store.ReadBackUpSequenceSuccess());
        QVERIFY(QFile::exists(store.ReadQuayDirectory() + QStringLiteral("/Status Files/") +
                              store.ReadSequenceFile()));
        QCOMPARE(window.summaryPage->edbTotalNumberOfBackUpSequences->text(), QStringLiteral("1"));
        QVERIFY(window.summaryPage->btnRunBackUp->isEnabled());
        QVERIFY(!window.summaryPage->btnBackUpSequenceCancel->isEnabled());

        // Nothing changed: only the log goes out again.
        QTest::mouseClick(window.summaryPage->btnRunBackUp, Qt::LeftButton);
        QVERIFY(QFile::exists(sink.messagePath(6)));
        QVERIFY(!QFile::exists(sink.messagePath(7)));
        QVERIFY(subjects(sink, 6).last().contains(QStringLiteral("Log.Txt")));
        QCOMPARE(logLines(), 4);
        QCOMPARE(store.ReadNumberOfBackUpSequences(), 2);
        QVERIFY(env.prompt.unexpected().isEmpty());
    }
};

QTEST_MAIN(TestWindowSequence)
#include "tst_windowsequence.moc"
