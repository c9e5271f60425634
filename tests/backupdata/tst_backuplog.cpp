#include "backupdata/BackUpLogReader.h"
#include "backupdata/LogLineFormat.h"
#include "backupdata/TernBackUpFileObject.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "backupdata/TernFileObject.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QDateTime at(int day, int hour, int minute, int second)
{
    return QDateTime(QDate(2004, 3, day), QTime(hour, minute, second));
}

TTernBackUpFileObject record(const QString& fileName, const QDateTime& fileDate,
                             const QDateTime& backupDate, int id = 0)
{
    TTernBackUpFileObject result;
    result.SetFileName(fileName);
    result.SetFileDate(fileDate);
    result.SetSizeText(QStringLiteral("37 KB"));
    result.SetBackupDate(backupDate);
    result.SetID(id);
    return result;
}

// The log list's answers as the plain whole-log scans give them, to check the index.
bool scanIsDue(const TTernBackUpFileObjectList& list, const QString& fileName,
               const QDateTime& fileDate)
{
    bool due = true;
    for (qsizetype i = 0; i < list.Count(); ++i) {
        const TTernBackUpFileObject& item = list.Items(i);
        if (item.FileName() == fileName && !(fileDate > item.FileDate()))
            due = false;
    }
    return due;
}

QStringList scanExportLatest(const TTernBackUpFileObjectList& list)
{
    QStringList lines;
    for (qsizetype i = 0; i < list.Count(); ++i) {
        qsizetype best = i;
        for (qsizetype j = 0; j < list.Count(); ++j) {
            if (list.Items(j).FileName() == list.Items(i).FileName() &&
                list.Items(j).BackupDate() > list.Items(best).BackupDate())
                best = j;
        }
        const QString line = list.Items(best).ToLine();
        if (!lines.contains(line))
            lines.append(line);
    }
    std::sort(lines.begin(), lines.end(), [](const QString& left, const QString& right) {
        const int order = QString::compare(left, right, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : left < right;
    });
    return lines;
}

} // namespace

// Backup log records, reading a whole log, the due test and the purge.
class TestBackUpLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lineRoundTrip_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QDateTime>("fileDate");
        QTest::addColumn<QString>("sizeText");
        QTest::addColumn<int>("id");
        QTest::newRow("plain")
            << QStringLiteral(
                   "/home/ann/report.doc;14/03/2004 09:05:32;37 KB;14/03/2004 21:40:07;0")
            << QStringLiteral("/home/ann/report.doc") << at(14, 9, 5, 32) << QStringLiteral("37 KB")
            << 0;
        QTest::newRow("midnight is the date alone")
            << QStringLiteral("/a;01/01/1960;0 KB;14/03/2004 21:40:07;57") << QStringLiteral("/a")
            << QDateTime(QDate(1960, 1, 1), QTime(0, 0)) << QStringLiteral("0 KB") << 57;
        QTest::newRow("unknown size")
            << QStringLiteral("/a b;14/03/2004 09:05:32;? KB;14/03/2004 "
                              "21:40:07;-3")
            << QStringLiteral("/a b") << at(14, 9, 5, 32) << QStringLiteral("? KB") << -3;
        QTest::newRow("semicolons in the path")
            << QStringLiteral("/home/ann/a;b;c.txt;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;0")
            << QStringLiteral("/home/ann/a;b;c.txt") << at(14, 9, 5, 32) << QStringLiteral("1 KB")
            << 0;
        QTest::newRow("path ends in a semicolon")
            << QStringLiteral("/x/;;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;0")
            << QStringLiteral("/x/;") << at(14, 9, 5, 32) << QStringLiteral("1 KB") << 0;
        QTest::newRow("non-ASCII")
            << QStringLiteral("/home/zoë/Straße.txt;14/03/2004 09:05:32;2 KB;14/03/2004 21:40:07;0")
            << QStringLiteral("/home/zoë/Straße.txt") << at(14, 9, 5, 32) << QStringLiteral("2 KB")
            << 0;
    }

    void lineRoundTrip()
    {
        QFETCH(QString, line);
        QFETCH(QString, fileName);
        QFETCH(QDateTime, fileDate);
        QFETCH(QString, sizeText);
        QFETCH(int, id);
        TTernBackUpFileObject parsed;
        parsed.Parse(line);
        QCOMPARE(parsed.FileName(), fileName);
        QCOMPARE(parsed.FileDate(), fileDate);
        QCOMPARE(parsed.SizeText(), sizeText);
        QCOMPARE(parsed.BackupDate(), at(14, 21, 40, 7));
        QCOMPARE(parsed.ID(), id);
        QVERIFY(TTernBackUpFileObject::IsValidLine(line));
        // Written back it is the same line, and the file object's writer agrees.
        QCOMPARE(parsed.ToLine(), line);
        QCOMPARE(joinLogFields(fileName, fileDate, sizeText, parsed.BackupDate(), id), line);
    }

    void shortAndDamagedLines()
    {
        TTernBackUpFileObject parsed;
        parsed.SetID(99);
        const QString noId = QStringLiteral("/a;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07");
        QVERIFY(!TTernBackUpFileObject::IsValidLine(noId));
        parsed.Parse(noId);
        QCOMPARE(parsed.ID(), 99);
        QCOMPARE(parsed.BackupDate(), at(14, 21, 40, 7));

        // Only the file name: every other field keeps the zero of a cleared record, which
        // is written as the zero date and reads back.
        parsed.Clear();
        parsed.Parse(QStringLiteral("/only/a/name"));
        QCOMPARE(parsed.FileName(), QStringLiteral("/only/a/name"));
        QCOMPARE(parsed.FileDate(), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
        QCOMPARE(parsed.ToLine(), QStringLiteral("/only/a/name;30/12/1899;;30/12/1899;0"));
        TTernBackUpFileObject again;
        again.Parse(parsed.ToLine());
        QCOMPARE(again.ToLine(), parsed.ToLine());

        // A field that does not convert raises and leaves the record as it was.
        const TTernBackUpFileObject before =
            record(QStringLiteral("/kept"), at(1, 1, 1, 1), at(2, 2, 2, 2), 5);
        const QStringList damaged{
            QStringLiteral("/a;31/02/2004 09:05:32;1 KB;14/03/2004 21:40:07;0"),
            QStringLiteral("/a;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;x"),
            QStringLiteral("/a;14/03/2004 25:05:32;1 KB;14/03/2004 21:40:07;0"),
            QStringLiteral("/a;14/03/20x4 09:05:32;1 KB;14/03/2004 21:40:07;0"),
            QStringLiteral("/a;14/03/2004;1 KB;14/03/-001;0"),
            QStringLiteral("/a;b;c;d;e;f"),
            QStringLiteral("/a;14/03/2004 09:05:32;1 KB;;0"),
        };
        for (const QString& line : damaged) {
            TTernBackUpFileObject target = before;
            QVERIFY_THROWS_EXCEPTION(KestrelError, target.Parse(line));
            QCOMPARE(target.ToLine(), before.ToLine());
        }

        // A line the left-to-right reading accepts reads exactly that way, even with more
        // than four fields.
        parsed.Clear();
        parsed.Parse(QStringLiteral("/a;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;5;junk"));
        QCOMPARE(parsed.FileName(), QStringLiteral("/a"));
        QCOMPARE(parsed.ID(), 5);
    }

    void datesMatchTheSharedParser()
    {
        const QStringList texts{QStringLiteral("14/03/2004 09:05:32"), QStringLiteral("29/02/2004"),
                                QStringLiteral("01/01/2000 00:00:00"),
                                QStringLiteral(" 14/03/2004 09:05:32 ")};
        for (const QString& text : texts) {
            TTernBackUpFileObject parsed;
            parsed.Parse(QStringLiteral("/a;%1;1 KB;%1;0").arg(text));
            QCOMPARE(parsed.FileDate(), parseLogDateTime(text));
        }
        QCOMPARE(TTernBackUpFileObject::wallClockSeconds(QDateTime()),
                 TTernBackUpFileObject::wallClockSeconds(QDateTime(QDate(1899, 12, 30), QTime())));
    }

    void namePart_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("namePart");
        QTest::newRow("two dots") << "/home/ann/report.final.doc"
                                  << "report";
        QTest::newRow("no extension") << "/home/ann/README"
                                      << "README";
        QTest::newRow("dot file") << "/home/ann/.profile"
                                  << ".profile";
        QTest::newRow("dotted folder") << "/back.up/notes"
                                       << "notes";
    }

    void namePart()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, namePart);
        TTernBackUpFileObject item;
        item.SetFileName(fileName);
        QCOMPARE(item.NamePart(), namePart);
    }

    void readWholeLogReportsDamageAndGoesOn()
    {
        TestEnvironment env;
        const QByteArray good1 = "/a;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;0";
        const QByteArray bad = "/b;99/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;0";
        const QByteArray good2 = "/c;d.txt;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;0";
        const QString path = env.writeFile(
            QStringLiteral("Log.Txt"),
            good1 + "\r\n\r\n  " + bad + "\n" + good2 + "\r\n\x1A" + "/after;eof\r\n" +
                "/e;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;0\x1A\r\n" +
                "/f;14/03/2004 09:05:32;1 KB;14/03/2004 21:40:07;0\r\n");
        TTernBackUpFileObjectList list;
        const BackUpLogReadResult result = BackUpLogReader::readAll(path, list);
        // A Ctrl-Z ends its line only: records after it are read.
        QCOMPARE(result.recordCount, 4);
        QCOMPARE(list.Count(), 4);
        QCOMPARE(list.Items(1).FileName(), QStringLiteral("/c;d.txt"));
        QCOMPARE(list.Items(2).FileName(), QStringLiteral("/e"));
        QCOMPARE(list.Items(3).FileName(), QStringLiteral("/f"));
        QCOMPARE(result.damagedLines.size(), 2);
        QCOMPARE(result.damagedLines.at(1).line, QStringLiteral("/after;eof"));
        QCOMPARE(result.damagedLines.at(0).lineNumber, 3);
        QCOMPARE(result.damagedLines.at(0).line, QString::fromLatin1(bad));
        QVERIFY(result.damagedLines.at(0).reason.contains(QStringLiteral("99/03/2004")));
        // The damaged line's file has no record, so it is due again.
        QVERIFY(list.IsDue(QStringLiteral("/b"), at(1, 0, 0, 0)));
        QVERIFY(!list.IsDue(QStringLiteral("/a"), at(14, 9, 5, 32)));

        // A missing log reads as empty.
        TTernBackUpFileObjectList empty;
        QCOMPARE(BackUpLogReader::readAll(env.path(QStringLiteral("none.txt")), empty).recordCount,
                 0);
    }

    void isDue_data()
    {
        QTest::addColumn<QDateTime>("current");
        QTest::addColumn<bool>("due");
        // Records of /docs/a.txt carry the file dates 10:00:00 and 12:00:00.
        QTest::newRow("later than every record") << at(5, 12, 0, 1) << true;
        QTest::newRow("same second") << at(5, 12, 0, 0).addMSecs(900) << false;
        QTest::newRow("between the records") << at(5, 11, 0, 0) << false;
        QTest::newRow("restored older copy") << at(5, 9, 0, 0) << false;
        QTest::newRow("UTC moment of the same second") << at(5, 12, 0, 0).toUTC() << false;
    }

    void isDue()
    {
        QFETCH(QDateTime, current);
        QFETCH(bool, due);
        TTernBackUpFileObjectList list;
        QVERIFY(list.IsDue(QStringLiteral("/docs/a.txt"), current));
        list.Add(record(QStringLiteral("/docs/a.txt"), at(5, 12, 0, 0), at(6, 0, 0, 0)));
        list.Add(record(QStringLiteral("/docs/a.txt"), at(5, 10, 0, 0), at(7, 0, 0, 0)));
        list.Add(record(QStringLiteral("/Docs/a.txt"), at(9, 0, 0, 0), at(9, 0, 0, 0)));
        QCOMPARE(list.IsDue(QStringLiteral("/docs/a.txt"), current), due);
        // Case matters: these are other files.
        QVERIFY(list.IsDue(QStringLiteral("/docs/A.txt"), current));
        QVERIFY(list.IsDue(QStringLiteral("/DOCS/a.txt"), current));
    }

    void exportLatest()
    {
        TTernBackUpFileObjectList list;
        const QString path = QStringLiteral("/docs/a.txt");
        // Monday, Wednesday, Tuesday: only Wednesday's line stays.
        list.Add(record(path, at(1, 9, 0, 0), at(15, 20, 0, 0), 1));
        list.Add(record(path, at(1, 9, 0, 0), at(17, 20, 0, 0), 2));
        list.Add(record(path, at(1, 9, 0, 0), at(16, 20, 0, 0), 3));
        // Two saves of one file at the same latest time: both lines stay while they differ,
        // and an identical line is kept once.
        list.Add(record(QStringLiteral("/b"), at(1, 0, 0, 1), at(20, 1, 0, 0), 1));
        list.Add(record(QStringLiteral("/b"), at(1, 0, 0, 1), at(20, 1, 0, 0), 2));
        list.Add(record(QStringLiteral("/b"), at(1, 0, 0, 1), at(20, 1, 0, 0), 2));
        // Paths that differ in case are two files: both stay, ordered without regard to case.
        list.Add(record(QStringLiteral("/Docs/a.txt"), at(1, 9, 0, 0), at(15, 20, 0, 0), 0));
        const QStringList lines = list.ExportLatest();
        QCOMPARE(lines, (QStringList{
                            QStringLiteral("/b;01/03/2004 00:00:01;37 KB;20/03/2004 01:00:00;1"),
                            QStringLiteral("/b;01/03/2004 00:00:01;37 KB;20/03/2004 01:00:00;2"),
                            QStringLiteral("/Docs/a.txt;01/03/2004 09:00:00;37 KB;15/03/2004 "
                                           "20:00:00;0"),
                            QStringLiteral("/docs/a.txt;01/03/2004 09:00:00;37 KB;17/03/2004 "
                                           "20:00:00;2"),
                        }));
        QVERIFY(TTernBackUpFileObjectList().ExportLatest().isEmpty());
    }

    void fileObjectRecordsReadBack()
    {
        // What the file object appends, the log list reads and answers for; a path with
        // ";" included.
        TestEnvironment env;
        const QString path = env.writeFile(QStringLiteral("docs/a;b.txt"), "content");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(at(14, 9, 5, 32), QFileDevice::FileModificationTime));
        file.close();
        TTernFileObject fileObject;
        fileObject.SetFileName(path);
        fileObject.AppendToLog();
        fileObject.AppendToLog();

        TTernBackUpFileObjectList list;
        const BackUpLogReadResult result =
            BackUpLogReader::readAll(TQuayRegistryObject().ReadLogFile(), list);
        QCOMPARE(result.recordCount, 2);
        QVERIFY(result.damagedLines.isEmpty());
        QCOMPARE(list.Items(0).FileName(), path);
        QCOMPARE(list.Items(0).ToLine(), fileObject.RecordLine());
        QVERIFY(!list.IsDue(fileObject));
        QCOMPARE(list.ExportLatest(), QStringList{fileObject.RecordLine()});

        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(at(14, 9, 5, 33), QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(list.IsDue(fileObject));
    }

    void indexAgreesWithWholeLogScans()
    {
        // Few paths and few distinct dates, so records collide and tie often.
        QRandomGenerator random(20041403);
        const QStringList paths{QStringLiteral("/a"), QStringLiteral("/A"), QStringLiteral("/b;c"),
                                QStringLiteral("/d/e.txt"), QStringLiteral("/D/e.txt")};
        TTernBackUpFileObjectList list;
        for (int i = 0; i < 300; ++i) {
            list.Add(record(paths.at(random.bounded(paths.size())),
                            at(1 + random.bounded(4), random.bounded(3), 0, 0),
                            at(10 + random.bounded(4), 0, 0, 0), random.bounded(3)));
        }
        for (const QString& path : paths) {
            for (int day = 1; day <= 5; ++day) {
                for (int hour = 0; hour < 3; ++hour) {
                    const QDateTime current = at(day, hour, 0, 0);
                    QCOMPARE(list.IsDue(path, current), scanIsDue(list, path, current));
                }
            }
        }
        QCOMPARE(list.ExportLatest(), scanExportLatest(list));
    }
};

QTEST_GUILESS_MAIN(TestBackUpLog)
#include "tst_backuplog.moc"
