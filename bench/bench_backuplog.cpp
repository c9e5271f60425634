// Speed of the backup log: reading a large log, the due test and the purge, each
// against a straightforward whole-log scan at a size where the scan still finishes.
// Data is generated in a temporary folder; HOME and the XDG folders point there too.

#include "backupdata/BackUpLogReader.h"
#include "backupdata/LogLineFormat.h"
#include "backupdata/TernBackUpFileObjectList.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// Wall-clock time, and the CPU time of this thread: on a machine shared with other
// builds the CPU time is the steadier figure.
struct Timing
{
    double seconds = 0;
    double cpuSeconds = 0;
    qsizetype result = 0;
};

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

template <typename Work> Timing timed(Work work)
{
    QElapsedTimer timer;
    const double cpuStart = threadCpuSeconds();
    timer.start();
    const qsizetype result = work();
    return {timer.nsecsElapsed() / 1e9, threadCpuSeconds() - cpuStart, result};
}

// A log of `records` lines over records / 4 paths: every file saved four times on
// average, in random order, as a log grows over years of sequences.
QString writeLog(const QString& folder, int records)
{
    const QString path = folder + QStringLiteral("/Log-%1.Txt").arg(records);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QRandomGenerator random(records);
    const int paths = std::max(1, records / 4);
    const QDateTime start(QDate(2004, 3, 14), QTime(9, 5, 32));
    QByteArray chunk;
    for (int i = 0; i < records; ++i) {
        const int file_ = random.bounded(paths);
        const QString name = QStringLiteral("/home/ann/Documents/Project %1/Drafts/report-%2.doc")
                                 .arg(file_ % 97)
                                 .arg(file_);
        const QDateTime fileDate = start.addSecs(random.bounded(100000000));
        const QDateTime backupDate = fileDate.addSecs(random.bounded(1000000));
        chunk.append(joinLogFields(name, fileDate,
                                   QStringLiteral("%1 KB").arg(random.bounded(5000)), backupDate, 0)
                         .toUtf8());
        chunk.append("\r\n");
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return path;
}

QStringList queryNames(const TTernBackUpFileObjectList& list, int count)
{
    QRandomGenerator random(7);
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        // Three in four known to the log, one in four new files.
        if (random.bounded(4) == 0)
            names.append(QStringLiteral("/home/ann/New/file-%1.txt").arg(i));
        else
            names.append(list.Items(random.bounded(list.Count())).FileName());
    }
    return names;
}

const QDateTime queryDate(QDate(2006, 1, 1), QTime(12, 0, 0));

qsizetype indexedDueCount(const TTernBackUpFileObjectList& list, const QStringList& names)
{
    return std::count_if(names.begin(), names.end(),
                         [&list](const QString& name) { return list.IsDue(name, queryDate); });
}

// The due test as a pass over the whole log for every file.
qsizetype scannedDueCount(const TTernBackUpFileObjectList& list, const QStringList& names)
{
    const qint64 current = TTernBackUpFileObject::wallClockSeconds(queryDate);
    qsizetype dueCount = 0;
    for (const QString& name : names) {
        bool due = true;
        for (qsizetype i = 0; i < list.Count(); ++i) {
            const TTernBackUpFileObject& record = list.Items(i);
            if (record.FileName() == name && current <= record.FileDateSeconds())
                due = false;
        }
        dueCount += due ? 1 : 0;
    }
    return dueCount;
}

// The purge as every record compared with every other, into a sorted list that keeps
// identical lines once.
qsizetype scannedExportCount(const TTernBackUpFileObjectList& list)
{
    QStringList lines;
    const auto less = [](const QString& left, const QString& right) {
        const int order = QString::compare(left, right, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : left < right;
    };
    for (qsizetype i = 0; i < list.Count(); ++i) {
        qsizetype best = i;
        for (qsizetype j = 0; j < list.Count(); ++j) {
            if (list.Items(j).FileName() == list.Items(i).FileName() &&
                list.Items(j).BackupDateSeconds() > list.Items(best).BackupDateSeconds())
                best = j;
        }
        const QString line = list.Items(best).ToLine();
        const auto place = std::lower_bound(lines.begin(), lines.end(), line, less);
        if (place == lines.end() || *place != line)
            lines.insert(place, line);
    }
    return lines.size();
}

void printRow(const char* what, int size, const Timing& timing)
{
    std::printf("%-30s %9d  %7.3f s wall  %7.3f s cpu  (result %lld)\n", what, size, timing.seconds,
                timing.cpuSeconds, static_cast<long long>(timing.result));
}

void isolateHome(const QString& folder)
{
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, QFile::encodeName(folder));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        qFatal("no temporary folder");
    isolateHome(folder.path());

    const int largeSize = 1000000;
    const QString largeLog = writeLog(folder.path(), largeSize);
    TTernBackUpFileObjectList large;
    printRow("read log into record list", largeSize,
             timed([&] { return BackUpLogReader::readAll(largeLog, large).recordCount; }));
    const QStringList largeQueries = queryNames(large, largeSize);
    printRow("IsDue, indexed", largeSize,
             timed([&] { return indexedDueCount(large, largeQueries); }));
    printRow("ExportLatest, indexed", largeSize,
             timed([&] { return large.ExportLatest().size(); }));

    const int smallSize = 20000;
    const QString smallLog = writeLog(folder.path(), smallSize);
    TTernBackUpFileObjectList small;
    BackUpLogReader::readAll(smallLog, small);
    const QStringList smallQueries = queryNames(small, smallSize);
    const Timing dueIndexed = timed([&] { return indexedDueCount(small, smallQueries); });
    const Timing dueScanned = timed([&] { return scannedDueCount(small, smallQueries); });
    const Timing exportIndexed = timed([&] { return small.ExportLatest().size(); });
    const Timing exportScanned = timed([&] { return scannedExportCount(small); });
    printRow("IsDue, indexed", smallSize, dueIndexed);
    printRow("IsDue, whole-log scan", smallSize, dueScanned);
    printRow("ExportLatest, indexed", smallSize, exportIndexed);
    printRow("ExportLatest, whole-log scan", smallSize, exportScanned);
    std::printf("ratio (cpu) IsDue scan/indexed: %.0fx, ExportLatest scan/indexed: %.0fx\n",
                dueScanned.cpuSeconds / dueIndexed.cpuSeconds,
                exportScanned.cpuSeconds / exportIndexed.cpuSeconds);
    const bool agree =
        dueIndexed.result == dueScanned.result && exportIndexed.result == exportScanned.result;
    std::printf("results agree: %s\n", agree ? "yes" : "NO");
    return agree ? 0 : 1;
}
