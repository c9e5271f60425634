#include "backupdata/LocalFileStatus.h"
#include "backupdata/TernBackUpFileObject.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "backupdata/TernFileObject.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

// The sequence's one-stat answers must equal what the file object says through
// QFileInfo and QDateTime, or a file would be due in one place and current in the
// other. Run in a zone with summer time, so the repeated autumn hour is covered.
class TestLocalFileStatus : public QObject
{
    Q_OBJECT

    enum class Kind
    {
        File,
        Folder,
        LinkToFile,
        LinkToFolder,
        DanglingLink,
        Missing,
        EmptyPath
    };

    static void setModified(const QString& path, qint64 seconds, long nanoseconds)
    {
        const struct timespec times[2] = {{time_t(seconds), nanoseconds},
                                          {time_t(seconds), nanoseconds}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void agreesWithTheFileObject_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<qint64>("modified");
        QTest::addColumn<int>("nanoseconds");

        // 2026-06-01 12:00:00 UTC, with a part second that both must drop.
        QTest::newRow("file, part second") << Kind::File << Q_INT64_C(1780315200) << 750000000;
        // 2026-10-25 00:30 and 01:30 UTC: both are 02:30 on the local clock.
        QTest::newRow("file, first 02:30 of the autumn change")
            << Kind::File << Q_INT64_C(1792888200) << 0;
        QTest::newRow("file, second 02:30 of the autumn change")
            << Kind::File << Q_INT64_C(1792891800) << 0;
        QTest::newRow("file before 1970") << Kind::File << Q_INT64_C(-300000000) << 500000000;
        QTest::newRow("folder") << Kind::Folder << Q_INT64_C(1600000000) << 0;
        QTest::newRow("link to a file") << Kind::LinkToFile << Q_INT64_C(1500000000) << 0;
        QTest::newRow("link to a folder") << Kind::LinkToFolder << Q_INT64_C(1500000000) << 0;
        QTest::newRow("dangling link") << Kind::DanglingLink << Q_INT64_C(0) << 0;
        QTest::newRow("missing") << Kind::Missing << Q_INT64_C(0) << 0;
        QTest::newRow("empty path") << Kind::EmptyPath << Q_INT64_C(0) << 0;
    }

    void agreesWithTheFileObject()
    {
        QFETCH(Kind, kind);
        QFETCH(qint64, modified);
        QFETCH(int, nanoseconds);
        TestEnvironment env;
        const QString target = kind == Kind::Folder || kind == Kind::LinkToFolder
                                   ? env.path(QStringLiteral("target folder/"))
                                   : env.writeFile(QStringLiteral("target \u00e4.txt"), "x");
        QString path = target;
        if (kind == Kind::LinkToFile || kind == Kind::LinkToFolder || kind == Kind::DanglingLink) {
            path = env.path(QStringLiteral("link"));
            QVERIFY(QFile::link(
                kind == Kind::DanglingLink ? env.path(QStringLiteral("gone")) : target, path));
        } else if (kind == Kind::Missing) {
            path = env.path(QStringLiteral("missing.txt"));
        } else if (kind == Kind::EmptyPath) {
            path.clear();
        }
        if (kind != Kind::DanglingLink && kind != Kind::Missing && kind != Kind::EmptyPath)
            setModified(target, modified, nanoseconds);

        TTernFileObject file;
        file.SetFileName(path);
        const LocalFileStatus status = LocalFileStatus::of(path);
        QCOMPARE(status.isFile, file.Exists());
        QCOMPARE(status.fileDateSeconds, TTernBackUpFileObject::wallClockSeconds(file.FileDate()));
        QCOMPARE(LocalFileStatus::ofEncoded(QFile::encodeName(path)).fileDateSeconds,
                 status.fileDateSeconds);
    }

    // The due test on seconds gives the answers of the due test on dates, at the
    // boundary of the logged file date.
    void dueTestOnSecondsMatchesDates()
    {
        const QDateTime logged(QDate(2026, 10, 25), QTime(2, 30, 0));
        TTernBackUpFileObject record;
        record.SetFileName(QStringLiteral("/docs/a.txt"));
        record.SetFileDate(logged);
        record.SetBackupDate(logged.addDays(1));
        TTernBackUpFileObjectList log;
        log.Add(record);
        for (const int offset : {-1, 0, 1}) {
            const QDateTime date = logged.addSecs(offset);
            QCOMPARE(log.IsDueAt(QStringLiteral("/docs/a.txt"),
                                 TTernBackUpFileObject::wallClockSeconds(date)),
                     log.IsDue(QStringLiteral("/docs/a.txt"), date));
        }
        QVERIFY(log.IsDueAt(QStringLiteral("/docs/b.txt"), 0));
    }
};

QTEST_GUILESS_MAIN(TestLocalFileStatus)
#include "tst_localfilestatus.moc"
