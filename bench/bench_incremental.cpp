// An incremental sequence with nothing due: every file of a large tree is already in
// the backup log with its current date, so the run only walks, stats and compares.
// The one message of the run, the backup log itself, goes to a real SMTP server on
// 127.0.0.1 (tests/scripts/smtp_sink.py) and is timed apart from the walk. For
// comparison, `find <tree> -type f -newer <stamp>` stats the same files in the same
// run.
//
// Usage: bench_incremental [--window | --patterns] [files] [folders]   (defaults 100000
// and 10000)
// With --window the run is started from the real main window (offscreen) instead of
// the headless driver, and only its total is timed. With --patterns the headless run is
// repeated, alternately without exclusions, with 20 exclusion patterns that match
// nothing in the tree, and with the patterns, cache tags and the size limit, and the
// totals of each are compared.
// The tree is <folders> leaf folders in groups of 100, listed once as one folder with
// its sub-folders; every leaf holds files/folders small files. Everything lives in a
// temporary folder that is removed at the end.

#include "SequenceBench.h"
#include "backupdata/TernFileObject.h"
#include "core/Clock.h"
#include "core/QuayRegistryObject.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/RecordingSequenceWindow.h"
#include "support/SmtpSink.h"
#include "support/TestEnvironment.h"
#include "ui/SummaryPage.h"
#include "ui/frmKestrelClientMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double processCpuSeconds()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Leaf folders root/gNNN/fNNN, each with filesPerFolder files; returns the files.
QStringList makeTree(const QString& root, int folders, int filesPerFolder)
{
    QStringList files;
    const QByteArray content("a small file of the benchmark tree\n");
    for (int folder = 0; folder < folders; ++folder) {
        const QString leaf = QStringLiteral("%1/g%2/f%3")
                                 .arg(root)
                                 .arg(folder / 100, 3, 10, QLatin1Char('0'))
                                 .arg(folder % 100, 3, 10, QLatin1Char('0'));
        QDir().mkpath(leaf);
        for (int i = 0; i < filesPerFolder; ++i) {
            const QString path = QStringLiteral("%1/file%2.txt").arg(leaf).arg(i);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
                qFatal("cannot write %s", qPrintable(path));
            files << path;
        }
    }
    return files;
}

qint64 timeFind(const QString& root, const QString& stamp)
{
    QElapsedTimer timer;
    timer.start();
    QProcess find;
    find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f"),
                                        QStringLiteral("-newer"), stamp});
    find.waitForFinished(-1);
    const qint64 elapsed = timer.elapsed();
    if (!find.readAllStandardOutput().isEmpty())
        qFatal("find found files newer than the stamp");
    return elapsed;
}

// With KESTREL_BENCH_HOLD set the process stops itself before the run, so a profiler
// can be attached to the run alone (perf record -p <pid>, then kill -CONT <pid>).
void holdForProfilerIfAsked()
{
    if (!qEnvironmentVariableIsSet("KESTREL_BENCH_HOLD"))
        return;
    std::printf("holding, pid %lld\n", static_cast<long long>(getpid()));
    std::fflush(stdout);
    raise(SIGSTOP);
}

// The same run started with "Run Back Up Now" in the real main window (offscreen):
// the memo, the counters, the progress bar and the log tree as the user has them.
int runThroughWindow(const TQuayRegistryObject& store, const SmtpSink& sink, qsizetype fileCount,
                     const QString& root, const QString& stamp, qint64 findBefore)
{
    store.WriteWizzardRun(true);
    store.WriteBackUpSubFolders(true);
    QElapsedTimer opening;
    opening.start();
    TfrmKestrelClientMain window;
    window.show();
    QApplication::setActiveWindow(&window);
    QCoreApplication::processEvents();
    // The user keeps the log tree loaded, as a window with a small log does.
    window.LoadLogIntoTree(store.ReadLogFile());
    std::printf("window opened, log tree of %lld records loaded, in %.3f s\n",
                static_cast<long long>(fileCount), opening.elapsed() / 1000.0);

    holdForProfilerIfAsked();
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    window.summaryPage->btnRunBackUp->click();
    const qint64 totalMs = timer.elapsed();
    const double cpuSeconds = processCpuSeconds() - cpuBefore;
    const qint64 findAfter = timeFind(root, stamp);

    const bool oneMessage =
        QFile::exists(sink.messagePath(1)) && !QFile::exists(sink.messagePath(2));
    if (!store.ReadBackUpSequenceSuccess() || !oneMessage ||
        store.ReadNumberOfFilesInLastSequence() != 0) {
        std::fprintf(stderr, "the sequence did not run as expected:\n%s\n",
                     qPrintable(window.summaryPage->statusText().left(4000)));
        return 1;
    }
    const qint64 findMs = qMin(findBefore, findAfter);
    std::printf("window sequence    %7.3f s (process CPU %.3f s)\n", totalMs / 1000.0, cpuSeconds);
    std::printf("find -newer        %7.3f s before, %.3f s after\n", findBefore / 1000.0,
                findAfter / 1000.0);
    std::printf("ratio window / find %6.2f\n", double(totalMs) / double(findMs));
    return 0;
}

// Twenty patterns of the kinds users write; none matches a file of the tree, so every
// run walks and compares the same 100,000 files.
const QByteArray benchPatterns = "# build output and caches\n"
                                 "*.tmp\n*.bak\n*~\n*.o\n*.pyc\n*.class\n*.swp\n*.iso\n"
                                 "__pycache__/\nnode_modules/\n/build/\n**/target/\ndist/\n"
                                 ".cache/\ncoverage/\nThumbs.db\n.DS_Store\ncore.[0-9]*\n"
                                 "logs/**/*.log\n!logs/keep.log\n";

double median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? double(values.at(middle))
                             : (values.at(middle - 1) + values.at(middle)) / 2.0;
}

int comparePatterns(const TQuayRegistryObject& store, const SmtpSink& sink, qsizetype fileCount,
                    int rounds)
{
    const QString patternsFile = store.ReadFileOfExclusions();
    struct Variant
    {
        const char* name;
        bool patterns;
        bool cacheAndSize;
        QList<qint64> totals;
    };
    QList<Variant> variants{{"no exclusions", false, false, {}},
                            {"20 patterns", true, false, {}},
                            {"20 patterns, cache tags, 1 GiB", true, true, {}}};
    int message = 0;
    for (int round = 0; round < rounds; ++round) {
        for (Variant& variant : variants) {
            QFile::remove(patternsFile);
            if (variant.patterns) {
                QFile file(patternsFile);
                if (!file.open(QIODevice::WriteOnly) || file.write(benchPatterns) < 0)
                    qFatal("cannot write %s", qPrintable(patternsFile));
            }
            store.WriteExcludeCacheFolders(variant.cacheAndSize);
            store.WriteExcludeFilesLargerThanMB(variant.cacheAndSize ? 1024 : 0);
            PhaseWindow window;
            window.subFolders = true;
            SequenceState state;
            SequenceCompletion completion(window, state);
            BackUpSequence sequence(window, completion);
            window.timer.start();
            sequence.RunBackUpSequence();
            const qint64 totalMs = window.timer.elapsed();
            const qsizetype current =
                window.history.count(QStringLiteral("- no backed up required."));
            if (!store.ReadBackUpSequenceSuccess() || current != fileCount ||
                !QFile::exists(sink.messagePath(++message))) {
                std::fprintf(stderr, "the sequence did not run as expected:\n%s\n",
                             qPrintable(window.history.mid(0, 40).join(QLatin1Char('\n'))));
                return 1;
            }
            variant.totals.append(totalMs);
            std::printf("round %d  %-32s %7.3f s\n", round + 1, variant.name, totalMs / 1000.0);
        }
    }
    const double none = median(variants.at(0).totals);
    for (const Variant& variant : std::as_const(variants))
        std::printf("median %-32s %7.3f s  ratio %.3f\n", variant.name,
                    median(variant.totals) / 1000.0, median(variant.totals) / none);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Offscreen unless a display was asked for: the window mode needs a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool throughWindow = arguments.removeAll(QStringLiteral("--window")) > 0;
    const bool patterns = arguments.removeAll(QStringLiteral("--patterns")) > 0;
    const int fileCount = arguments.size() > 0 ? arguments.at(0).toInt() : 100000;
    const int folderCount = arguments.size() > 1 ? arguments.at(1).toInt() : 10000;
    if (fileCount <= 0 || folderCount <= 0 || fileCount % folderCount != 0) {
        std::fprintf(stderr, "usage: bench_incremental [--window] [files] [folders], files a "
                             "multiple of folders\n");
        return 2;
    }

    TestEnvironment env;
    SystemClock clock;
    const ScopedServices services({&env.prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp,
                                   &env.notifications, &env.fileManagerMenu, &env.secretStore});
    SmtpSink sink(QStringLiteral(KESTREL_TEST_SCRIPTS), env.path(QStringLiteral("sink/")), {});
    if (sink.port() == 0) {
        std::fprintf(stderr, "SMTP sink: %s\n", qPrintable(sink.errorText()));
        return 1;
    }
    pointSettingsAt(sink, QStringLiteral("benchmark password"));
    const TQuayRegistryObject store;

    QElapsedTimer setup;
    setup.start();
    const QString root = env.path(QStringLiteral("tree"));
    const QStringList files = makeTree(root, folderCount, fileCount / folderCount);
    QStringList records;
    records.reserve(files.size());
    TTernFileObject recorder;
    recorder.SetBackupDate(clock.now());
    for (const QString& path : files) {
        recorder.SetFileName(path);
        records << recorder.RecordLine();
    }
    writeLines(store.ReadLogFile(), records);
    writeLines(store.ReadFileOfFiles(), {});
    writeLines(store.ReadFileOfDirectories(), {root});
    const QString stamp = env.path(QStringLiteral("stamp"));
    writeLines(stamp, {});
    std::printf(
        "tree: %lld files in %d leaf folders, log of %lld records (%lld bytes), "
        "made in %.1f s\n",
        static_cast<long long>(files.size()), folderCount, static_cast<long long>(records.size()),
        static_cast<long long>(QFileInfo(store.ReadLogFile()).size()), setup.elapsed() / 1000.0);

    const qint64 findBefore = timeFind(root, stamp);
    if (throughWindow)
        return runThroughWindow(store, sink, files.size(), root, stamp, findBefore);
    if (patterns)
        return comparePatterns(store, sink, files.size(), 5);

    holdForProfilerIfAsked();

    PhaseWindow window;
    window.subFolders = true;
    SequenceState state;
    SequenceCompletion completion(window, state);
    BackUpSequence sequence(window, completion);
    const double cpuBefore = processCpuSeconds();
    window.timer.start();
    sequence.RunBackUpSequence();
    const qint64 totalMs = window.timer.elapsed();
    const double cpuSeconds = processCpuSeconds() - cpuBefore;

    const qint64 findAfter = timeFind(root, stamp);

    const qsizetype current = window.history.count(QStringLiteral("- no backed up required."));
    const qsizetype backedUp = window.history.count(QStringLiteral("- latest file backed up."));
    const bool oneMessage =
        QFile::exists(sink.messagePath(1)) && !QFile::exists(sink.messagePath(2));
    if (!store.ReadBackUpSequenceSuccess() || current != files.size() || backedUp != 0 ||
        !oneMessage || window.walkEndMs < 0) {
        std::fprintf(stderr, "the sequence did not run as expected:\n%s\n",
                     qPrintable(window.history.mid(0, 40).join(QLatin1Char('\n'))));
        return 1;
    }

    const qint64 walkMs = window.walkEndMs - window.walkStartMs;
    const qint64 findMs = qMin(findBefore, findAfter);
    std::printf("sequence total     %7.3f s (process CPU %.3f s)\n", totalMs / 1000.0, cpuSeconds);
    std::printf("  read log, lists  %7.3f s\n", window.walkStartMs / 1000.0);
    for (const auto& [ms, line] : window.marks)
        std::printf("    %7.3f s  %s\n", ms / 1000.0, qPrintable(line));
    std::printf("  connect + walks  %7.3f s\n", walkMs / 1000.0);
    std::printf("  log mail, end    %7.3f s\n", (totalMs - window.walkEndMs) / 1000.0);
    std::printf("find -newer        %7.3f s before, %.3f s after\n", findBefore / 1000.0,
                findAfter / 1000.0);
    std::printf("ratio total / find %7.2f\n", double(totalMs) / double(findMs));
    std::printf("ratio total without log mail / find %7.2f\n",
                double(window.walkEndMs) / double(findMs));
    return 0;
}
