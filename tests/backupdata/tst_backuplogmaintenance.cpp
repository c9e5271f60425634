#include "backupdata/BackUpLogMaintenance.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// Files of this process cannot grow past the limit while the object lives, as on a
// full disk; writes past it fail instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{bytes, m_saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_previousHandler)(int) = nullptr;
};

} // namespace

// Archiving, purging, new logs and the log check of the "Backup Log" menu.
class TestBackUpLogMaintenance : public QObject
{
    Q_OBJECT

private:
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    const QDateTime stamp{QDate(2004, 3, 14), QTime(21, 40, 7)};

private Q_SLOTS:
    void archivePathGoesBeforeTheNamesFirstDot_data()
    {
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("archive");
        QTest::newRow("plain") << "/data/Log.Txt"
                               << "/data/Log - 04-03-14 21-40-07.Txt";
        QTest::newRow("dotted folder")
            << "/home/ann/.local/share/Orrery/KestrelSolo/Log.Txt"
            << "/home/ann/.local/share/Orrery/KestrelSolo/Log - 04-03-14 21-40-07.Txt";
        QTest::newRow("two dots") << "/data/my.log.txt"
                                  << "/data/my - 04-03-14 21-40-07.log.txt";
        QTest::newRow("no dot") << "/data/.hidden/Log"
                                << "/data/.hidden/Log - 04-03-14 21-40-07";
    }

    void archivePathGoesBeforeTheNamesFirstDot()
    {
        QFETCH(QString, log);
        QFETCH(QString, archive);
        QCOMPARE(BackUpLogMaintenance::archivePath(log, QStringLiteral("04-03-14 21-40-07")),
                 archive);
    }

    void archiveKeepsEverythingAndPurgesToTheLatest()
    {
        TestEnvironment env;
        const QByteArray original = "/d/a.txt;01/03/2004 10:00:00;1 KB;02/03/2004 10:00:00;0\r\n"
                                    "/d/b.txt;01/03/2004 10:00:00;2 KB;02/03/2004 11:00:00;0\r\n"
                                    "/d/c.txt;not a date;1 KB;02/03/2004 10:00:00;0\r\n"
                                    "/d/a.txt;05/03/2004 10:00:00;3 KB;06/03/2004 10:00:00;0\r\n";
        const QString log = env.writeFile(QStringLiteral("logs/Log.Txt"), original);
        const int fileNumber = TQuayRegistryObject().ReadFileIDNumber();
        QStringList lines;
        const QString archive = BackUpLogMaintenance::archive(
            log, stamp, [&lines](const QString& line) { lines << line; });

        QCOMPARE(archive, env.root() + QStringLiteral("/logs/Log - 04-03-14 21-40-07.Txt"));
        QCOMPARE(read(archive), original);
        QCOMPARE(read(log),
                 QByteArray("/d/a.txt;05/03/2004 10:00:00;3 KB;06/03/2004 10:00:00;0\r\n"
                            "/d/b.txt;01/03/2004 10:00:00;2 KB;02/03/2004 11:00:00;0\r\n"));
        QCOMPARE(lines.first(), QStringLiteral("Existing log file archived as: ") + archive);
        QCOMPARE(lines.at(1), QStringLiteral("Purging existing log file, please wait..."));
        QVERIFY(lines.at(2).startsWith(QStringLiteral("Line 3 of the log")));
        QCOMPARE(lines.last(), QStringLiteral("Log filed purged successfully."));
        QCOMPARE(TQuayRegistryObject().ReadFileIDNumber(), fileNumber + 1);

        // Twice in one second: the first copy stays, the second gets a name of its own.
        const QString second = BackUpLogMaintenance::archive(log, stamp, [](const QString&) {});
        QCOMPARE(second, env.root() + QStringLiteral("/logs/Log - 04-03-14 21-40-07 (2).Txt"));
        QCOMPARE(read(archive), original);
        QCOMPARE(read(second), read(log));
    }

    // A copy that cannot be written whole (a full disk) leaves the log as it was.
    void failedCopyLeavesTheLogAlone()
    {
        TestEnvironment env;
        QByteArray original;
        for (int i = 0; i < 200; ++i)
            original += "/d/file" + QByteArray::number(i) +
                        ".txt;01/03/2004 10:00:00;1 KB;02/03/2004 10:00:00;0\r\n";
        const QString log = env.writeFile(QStringLiteral("Log.Txt"), original);
        QStringList lines;
        {
            const FileSizeLimit diskNearlyFull(4096);
            QVERIFY_THROWS_EXCEPTION(
                KestrelError, BackUpLogMaintenance::archive(
                                  log, stamp, [&lines](const QString& line) { lines << line; }));
        }
        QCOMPARE(read(log), original);
        QVERIFY(lines.filter(QStringLiteral("purged")).isEmpty());
    }

    void emptyLogGivesEmptyArchiveAndLog()
    {
        TestEnvironment env;
        const QString log = env.writeFile(QStringLiteral("Log.Txt"), QByteArray());
        const QString archive = BackUpLogMaintenance::archive(log, stamp, [](const QString&) {});
        QCOMPARE(read(archive), QByteArray());
        QCOMPARE(read(log), QByteArray());
    }

    void missingLogFailsAndChangesNothing()
    {
        TestEnvironment env;
        const QString log = env.path(QStringLiteral("Log.Txt"));
        QVERIFY_THROWS_EXCEPTION(KestrelError,
                                 BackUpLogMaintenance::archive(log, stamp, [](const QString&) {}));
        QVERIFY(!QFile::exists(log));
        QVERIFY(!QFile::exists(
            BackUpLogMaintenance::archivePath(log, QStringLiteral("04-03-14 21-40-07"))));
    }

    void newLogFiles()
    {
        TestEnvironment env;
        const QString current = env.writeFile(QStringLiteral("logs/Log.Txt"), "x");
        const QString path = BackUpLogMaintenance::newLogPath(current, QStringLiteral("2005"));
        QCOMPARE(path, env.root() + QStringLiteral("/logs/2005.txt"));
        BackUpLogMaintenance::createNewLog(path);
        QCOMPARE(read(path), QByteArray());
        try {
            BackUpLogMaintenance::createNewLog(path);
            QFAIL("an existing file must not be replaced");
        } catch (const KestrelError& error) {
            QCOMPARE(error.message(),
                     QStringLiteral("Unable to create file as it already exists."));
        }
    }

    void looksLikeLog()
    {
        TestEnvironment env;
        QVERIFY(BackUpLogMaintenance::looksLikeLog(env.writeFile(
            "good.txt", "/d/a.txt;01/03/2004 10:00:00;1 KB;02/03/2004 10:00:00;0\r\nrest")));
        QVERIFY(!BackUpLogMaintenance::looksLikeLog(env.writeFile("empty.txt", "")));
        QVERIFY(!BackUpLogMaintenance::looksLikeLog(env.writeFile("three.txt", "a;b;c;d\r\n")));
        QVERIFY(!BackUpLogMaintenance::looksLikeLog(env.path("missing.txt")));
    }
};

QTEST_GUILESS_MAIN(TestBackUpLogMaintenance)
#include "tst_backuplogmaintenance.moc"
