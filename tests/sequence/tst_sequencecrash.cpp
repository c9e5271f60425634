#include "backupdata/TernBackUpFileObject.h"
#include "core/DateTimeText.h"
#include "sequence/SequenceTestFixture.h"

#include <QTest>

// What a run that died (killed, or the machine lost power) leaves behind, and how the
// next sequence copes with it: a log whose last line was cut short, and archives left
// in the zip folder.
class TestSequenceCrash : public QObject
{
    Q_OBJECT

private:
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void writeAll(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    // A record whose dates lie after the file's, so the log says the file is current.
    static QByteArray currentRecord(const QString& path)
    {
        const QString stamp = dateTimeText(QFileInfo(path).lastModified().addSecs(60));
        return (path + QLatin1Char(';') + stamp + QStringLiteral(";1 KB;") + stamp +
                QStringLiteral(";0"))
            .toUtf8();
    }

private Q_SLOTS:
    void cutShortLastLogLine_data()
    {
        QTest::addColumn<int>("cutAt");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("dueAgain");
        // Cut where the process or the disk stopped writing the last record.
        QTest::newRow("inside the backup date") << -8 << QByteArray() << true;
        QTest::newRow("before the line end") << 0 << QByteArray() << false;
        QTest::newRow("between CR and LF") << 0 << QByteArray("\r") << false;
    }

    // The record cut short costs at most its own file being mailed again; what the
    // next run appends starts on a line of its own, and every line it writes is whole.
    void cutShortLastLogLine()
    {
        QFETCH(int, cutAt);
        QFETCH(QByteArray, after);
        QFETCH(bool, dueAgain);
        SequenceFixture f;
        const QString kept = f.dataFile(QStringLiteral("kept.txt"), "recorded whole");
        const QString cut = f.dataFile(QStringLiteral("cut.txt"), "recorded when the run died");
        const QString fresh = f.dataFile(QStringLiteral("fresh.txt"), "never backed up");
        f.listFiles({kept, cut, fresh});
        const QString logFile = TQuayRegistryObject().ReadLogFile();
        QByteArray cutRecord = currentRecord(cut);
        cutRecord.chop(-cutAt);
        const QByteArray before = currentRecord(kept) + "\r\n" + cutRecord + after;
        writeAll(logFile, before);

        f.sequence.RunBackUpSequence();
        QVERIFY2(TQuayRegistryObject().ReadBackUpSequenceSuccess(),
                 qPrintable(f.window.history.join('\n')));
        const QStringList expectedMail =
            dueAgain ? QStringList{cut, fresh, logFile} : QStringList{fresh, logFile};
        QCOMPARE(f.mailedPaths(), expectedMail);

        const QByteArray log = readAll(logFile);
        QVERIFY(log.startsWith(before));
        QVERIFY(log.endsWith("\r\n"));
        QList<QByteArray> lines = log.mid(currentRecord(kept).size() + 2).split('\n');
        QVERIFY(lines.takeLast().isEmpty());
        if (dueAgain)
            lines.removeFirst();
        for (const QByteArray& line : std::as_const(lines)) {
            QVERIFY2(line.endsWith('\r') && !line.chopped(1).contains('\r'), line.constData());
            QVERIFY2(TTernBackUpFileObject::IsValidLine(QString::fromUtf8(line.chopped(1))),
                     line.constData());
        }
        // The cut file is known once: by its old record, or by the new one when the old
        // one could not be read.
        const QStringList logged = f.loggedPaths();
        QCOMPARE(logged.count(fresh), 1);
        QCOMPARE(logged.count(cut), 1);
    }

    // A run killed between zipping and sending leaves its archive: the next run packs
    // the file afresh and sends what the file holds now, never the old archive.
    void archivesLeftByAKilledRun()
    {
        SequenceFixture f;
        const QString file = f.dataFile(QStringLiteral("a.txt"), "current content");
        f.listFiles({file});
        const QString zipFolder = TQuayRegistryObject().ReadZipDirectory();
        QVERIFY(QDir().mkpath(zipFolder));
        const QByteArray stale = "stale archive of an earlier run";
        writeAll(zipFolder + QStringLiteral("/a-txt.zip"), stale);

        f.sequence.RunBackUpSequence();
        QVERIFY2(TQuayRegistryObject().ReadBackUpSequenceSuccess(),
                 qPrintable(f.window.history.join('\n')));
        QCOMPARE(f.mailedPaths().value(0), file);
        const QByteArray message = f.server.messages().value(0);
        // A fresh archive starts with a local file header, "PK\3\4", base64 "UEsDB".
        QVERIFY(message.contains("UEsDB"));
        QVERIFY(!message.contains(stale.toBase64().left(20)));
        QVERIFY(f.zipFolderEntries().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSequenceCrash)
#include "tst_sequencecrash.moc"
