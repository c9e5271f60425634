// Zips one large file the way a sequence does (deflate level 9, AES-256) and prints
// the time taken and the peak memory of the process. The file is streamed from
// disk, so the peak must stay far below the file's size.
//
// Usage: bench_zip [size in MiB, default 1024]. Run under /usr/bin/time -v for an
// outside view of the peak resident size.

#include "transport/ZipMaster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

// Alternating compressible text and random bytes, so deflate does real work.
bool writeSample(const QString& path, qint64 mebibytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(20261208);
    QByteArray text;
    while (text.size() < 1024 * 1024)
        text += "Backup sequence log line with a path /home/user/Documents/report.doc;\r\n";
    text.truncate(1024 * 1024);
    QByteArray noise(1024 * 1024, Qt::Uninitialized);
    for (qint64 block = 0; block < mebibytes; ++block) {
        if (block % 2 == 0) {
            random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
            if (file.write(noise) != noise.size())
                return false;
        } else if (file.write(text) != text.size()) {
            return false;
        }
    }
    return true;
}

long peakResidentKiB()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("sample.bin"));
    if (!writeSample(source, mebibytes)) {
        std::fprintf(stderr, "could not write the sample file\n");
        return 1;
    }
    const long peakBeforeZip = peakResidentKiB();

    TZipMaster zip;
    zip.SetAddCompLevel(9);
    zip.SetAddOptions(TZipMaster::AddEncrypt);
    zip.SetPassword(QStringLiteral("benchmark password"));
    zip.LoadZipEngine();
    zip.SetZipFileName(folder.filePath(QStringLiteral("sample-bin.zip")));
    zip.FSpecArgs() << source;
    QElapsedTimer timer;
    timer.start();
    zip.AddFiles();
    const double seconds = timer.elapsed() / 1000.0;
    if (zip.SuccessCount() != 1) {
        std::fprintf(stderr, "zip failed: %s\n", qPrintable(zip.LastErrorMessage()));
        return 1;
    }
    std::printf("source      %lld MiB\n", mebibytes);
    std::printf("archive     %lld bytes\n", zip.ArchiveSize());
    std::printf("time        %.1f s (%.1f MiB/s)\n", seconds, double(mebibytes) / seconds);
    std::printf("peak RSS    %ld KiB before zipping, %ld KiB after\n", peakBeforeZip,
                peakResidentKiB());
    return 0;
}
