// A KestrelDrive sequence against cp -r and rsync -a of the same tree, in the same
// run, in a temporary home on the disk of the temporary folder.
//
// Usage: bench_drivecopy [small files, default 10000] [large file in MiB, default 1024]
//
// Makes the tree (the small files of 1-8 KiB in folders of 100, and one large file),
// then copies it: once by a full drive sequence (folders list with sub-folders,
// numbered copies), once by cp -r, once by rsync -a when it is installed. The
// sequence's copies go through a temporary file that is flushed to the disk before it
// is renamed, which cp and rsync do not do; so each figure is also given with the
// sync that puts their copies on the disk. Every copy is checked for its file count
// and total size, and the tree is removed at the end.

#include "core/Clock.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/BackUpSequence.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "support/RecordingSequenceWindow.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cstdio>

#include <unistd.h>

namespace {

constexpr int FilesPerFolder = 100;

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          size / qsizetype(sizeof(quint32)));
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool makeTree(const QString& root, int smallFiles, int largeMiB)
{
    for (int i = 0; i < smallFiles; ++i) {
        const QString folder =
            root + QStringLiteral("/set%1").arg(i / FilesPerFolder, 3, 10, QLatin1Char('0'));
        if (i % FilesPerFolder == 0 && !QDir().mkpath(folder))
            return false;
        const qsizetype size = 1024 * (1 + QRandomGenerator::global()->bounded(8));
        if (!writeFile(folder + QStringLiteral("/file%1.dat").arg(i), randomBytes(size)))
            return false;
    }
    QFile large(root + QStringLiteral("/large.bin"));
    if (!large.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block = randomBytes(8 * 1024 * 1024);
    for (int written = 0; written < largeMiB; written += 8)
        if (large.write(block) != block.size())
            return false;
    return true;
}

struct TreeSize
{
    qsizetype files = 0;
    qint64 bytes = 0;
};

TreeSize sizeOf(const QString& root)
{
    TreeSize size;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++size.files;
        size.bytes += it.fileInfo().size();
    }
    return size;
}

double syncSeconds()
{
    QElapsedTimer timer;
    timer.start();
    ::sync();
    return timer.elapsed() / 1000.0;
}

void report(const char* what, double seconds, double syncAfter, const TreeSize& copied,
            const TreeSize& source)
{
    const bool complete = copied.files == source.files && copied.bytes == source.bytes;
    std::printf("%-16s %8.2f s  %8.2f s with sync  %6.1f MiB/s  %lld files%s\n", what, seconds,
                seconds + syncAfter, source.bytes / 1048576.0 / (seconds + syncAfter),
                static_cast<long long>(copied.files), complete ? "" : "  INCOMPLETE");
}

bool runTool(const QString& program, const QStringList& arguments, double& seconds)
{
    QElapsedTimer timer;
    timer.start();
    const int status = QProcess::execute(program, arguments);
    seconds = timer.elapsed() / 1000.0;
    return status == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const int smallFiles = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int largeMiB = argc > 2 ? QByteArray(argv[2]).toInt() : 1024;

    TestEnvironment env(QStringLiteral("KestrelDrive"));
    SystemClock clock;
    Services::Set set = Services::current();
    set.clock = &clock;
    const ScopedServices services(set);

    const QString source = env.path(QStringLiteral("source"));
    if (!makeTree(source, smallFiles, largeMiB)) {
        std::fprintf(stderr, "could not make the tree under %s\n", qPrintable(source));
        return 1;
    }
    syncSeconds();
    const TreeSize sourceSize = sizeOf(source);
    std::printf("tree: %lld files, %.1f MiB, in %s\n", static_cast<long long>(sourceSize.files),
                sourceSize.bytes / 1048576.0, qPrintable(env.root()));

    // The drive sequence: a full back up of the folder and its sub-folders.
    const QString backUpFolder = env.path(QStringLiteral("drive"));
    QDir().mkpath(backUpFolder);
    const TQuayRegistryObject store;
    store.WriteUserBackUpEmailAddress(backUpFolder);
    store.WriteMaxNumberOfBytesToBackedUp(1e15);
    QFile folders(store.ReadFileOfDirectories());
    if (!folders.open(QIODevice::WriteOnly) || folders.write(source.toUtf8() + "\r\n") <= 0)
        return 1;
    folders.close();
    {
        RecordingSequenceWindow window;
        window.subFolders = true;
        window.type = SequenceWindow::BackUpType::Full;
        SequenceState state;
        SequenceCompletion completion(window, state);
        BackUpSequence sequence(window, completion);
        QElapsedTimer timer;
        timer.start();
        sequence.RunBackUpSequence();
        const double seconds = timer.elapsed() / 1000.0;
        if (!store.ReadBackUpSequenceSuccess()) {
            std::fprintf(stderr, "%s\n", qPrintable(window.history.join(QLatin1Char('\n'))));
            return 1;
        }
        report("drive sequence", seconds, syncSeconds(), sizeOf(backUpFolder), sourceSize);
    }
    QDir(backUpFolder).removeRecursively();
    syncSeconds();

    double seconds = 0;
    const QString cpCopy = env.root() + QStringLiteral("/cp");
    if (!runTool(QStringLiteral("cp"), {QStringLiteral("-r"), source, cpCopy}, seconds))
        return 1;
    report("cp -r", seconds, syncSeconds(), sizeOf(cpCopy), sourceSize);
    QDir(cpCopy).removeRecursively();
    syncSeconds();

    if (!QStandardPaths::findExecutable(QStringLiteral("rsync")).isEmpty()) {
        const QString rsyncCopy = env.root() + QStringLiteral("/rsync");
        if (!runTool(
                QStringLiteral("rsync"),
                {QStringLiteral("-a"), source + QLatin1Char('/'), rsyncCopy + QLatin1Char('/')},
                seconds))
            return 1;
        report("rsync -a", seconds, syncSeconds(), sizeOf(rsyncCopy), sourceSize);
    }
    return 0;
}
