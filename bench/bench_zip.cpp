// Zips one large file the way a sequence does (deflate level 9, WinZip AES-256) and
// prints the rate beside a reference measured on the same file in the same run, and
// the peak memory of the process. Two files: random bytes (stored, as they do not
// shrink; the reference is sha1sum, as HMAC-SHA1 is the slowest step left) and text
// (deflated; the reference is gzip -9, one core deflating at the same level). The
// files are streamed from disk, so the peak must stay far below their size.
//
// Usage: bench_zip [size in MiB, default 1024]. Run under /usr/bin/time -v for an
// outside view of the peak resident size.

#include "transport/ZipMaster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

bool writeSample(const QString& path, qint64 mebibytes, bool random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator generator(20261208);
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    if (!random) {
        QByteArray text;
        for (int line = 0; text.size() < block.size(); ++line)
            text += "Backup sequence log line " + QByteArray::number(line * 7919 % 100003) +
                    " with a path /home/user/Documents/report-" + QByteArray::number(line % 97) +
                    ".doc;\r\n";
        block = text.left(block.size());
    }
    for (qint64 done = 0; done < mebibytes; ++done) {
        if (random)
            generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

long peakResidentKiB()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Seconds the reference command takes over the file, its output thrown away.
double referenceSeconds(const QString& program, const QStringList& arguments, const QString& path)
{
    QProcess process;
    process.setStandardInputFile(path);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return timer.elapsed() / 1000.0;
}

bool measure(QTemporaryDir& folder, qint64 mebibytes, bool random)
{
    const QString kind = random ? QStringLiteral("random") : QStringLiteral("text");
    const QString source = folder.filePath(kind + QStringLiteral(".bin"));
    if (!writeSample(source, mebibytes, random)) {
        std::fprintf(stderr, "could not write the sample file\n");
        return false;
    }
    const QString reference = random ? QStringLiteral("sha1sum") : QStringLiteral("gzip -9");
    const double referenceTime =
        random ? referenceSeconds(QStringLiteral("sha1sum"), {}, source)
               : referenceSeconds(QStringLiteral("gzip"), {QStringLiteral("-9c")}, source);

    TZipMaster zip;
    zip.SetAddCompLevel(9);
    zip.SetAddOptions(TZipMaster::AddEncrypt);
    zip.SetPassword(QStringLiteral("benchmark password"));
    zip.LoadZipEngine();
    zip.SetZipFileName(folder.filePath(kind + QStringLiteral("-bin.zip")));
    zip.FSpecArgs() << source;
    QElapsedTimer timer;
    timer.start();
    zip.AddFiles();
    const double seconds = timer.elapsed() / 1000.0;
    if (zip.SuccessCount() != 1) {
        std::fprintf(stderr, "zip failed: %s\n", qPrintable(zip.LastErrorMessage()));
        return false;
    }
    const double megabytes = double(mebibytes) * 1024 * 1024 / 1e6;
    std::printf("%-7s %lld MiB -> %lld bytes archive\n", qPrintable(kind), mebibytes,
                zip.ArchiveSize());
    std::printf("  zip          %6.2f s  %7.1f MB/s\n", seconds, megabytes / seconds);
    std::printf("  %-12s %6.2f s  %7.1f MB/s  (reference)\n", qPrintable(reference), referenceTime,
                megabytes / referenceTime);
    std::printf("  peak RSS     %ld KiB\n", peakResidentKiB());
    QFile::remove(source);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir folder;
    std::printf("peak RSS before zipping %ld KiB\n", peakResidentKiB());
    if (!measure(folder, mebibytes, true) || !measure(folder, mebibytes, false))
        return 1;
    return 0;
}
