// Reading a save-note archive as it arrives, against reading the downloaded file with
// libzip and against `7zz t` on the same archive in the same run.
//
// Usage: bench_savedarchivestream [MiB]   (default 1024) a text-like file of that size,
//                                          packed with AES; each reader reads it once.

#include "core/KestrelError.h"
#include "restore/SavedArchive.h"
#include "restore/SavedArchiveStream.h"
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

constexpr auto Password = "benchmark password";

long peakResidentKiB()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Words from a small vocabulary: deflate packs it about as well as log files.
bool writeSample(const QString& path, qint64 mebibytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(20261211);
    QByteArray block;
    while (block.size() < 4 * 1024 * 1024)
        block += QByteArray::number(random.bounded(100000), 36) + (random.bounded(12) ? ' ' : '\n');
    block.resize(4 * 1024 * 1024);
    for (qint64 written = 0; written < mebibytes * 1024 * 1024; written += block.size())
        if (file.write(block) != block.size())
            return false;
    return true;
}

double streamSeconds(const QString& archive, qint64& bytes)
{
    QFile file(archive);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bytes = 0;
    SavedArchiveStream stream(QString::fromLatin1(Password),
                              [&](const char*, qsizetype size) { bytes += size; });
    QByteArray chunk(65536, Qt::Uninitialized);
    QElapsedTimer timer;
    timer.start();
    for (qint64 got; (got = file.read(chunk.data(), chunk.size())) > 0;)
        stream.feed(chunk.constData(), got);
    if (stream.finish() != SavedArchive::Extracted::Done)
        return -1;
    return timer.elapsed() / 1000.0;
}

// Takes every byte and keeps none; seekable, as libzip's extraction wants.
class Nowhere : public QIODevice
{
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override { return size; }
};

double libzipSeconds(const QString& archive)
{
    Nowhere nowhere;
    if (!nowhere.open(QIODevice::WriteOnly))
        return -1;
    QElapsedTimer timer;
    timer.start();
    SavedArchive saved(archive);
    if (saved.extract(QString::fromLatin1(Password), nowhere) != SavedArchive::Extracted::Done)
        return -1;
    return timer.elapsed() / 1000.0;
}

double sevenZipSeconds(const QString& archive)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("7zz"),
                  {QStringLiteral("t"), QStringLiteral("-p") + QString::fromLatin1(Password),
                   QStringLiteral("-mmt1"), archive});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("text.bin"));
    if (!writeSample(source, mebibytes)) {
        std::fprintf(stderr, "could not write the sample file\n");
        return 1;
    }
    TZipMaster zip;
    zip.SetAddCompLevel(9);
    zip.SetAddOptions(TZipMaster::AddEncrypt);
    zip.SetPassword(QString::fromLatin1(Password));
    zip.LoadZipEngine();
    zip.SetZipFileName(folder.filePath(QStringLiteral("text.zip")));
    zip.FSpecArgs() << source;
    zip.AddFiles();
    QFile::remove(source);
    if (zip.SuccessCount() != 1) {
        std::fprintf(stderr, "zip failed: %s\n", qPrintable(zip.LastErrorMessage()));
        return 1;
    }
    const QString archive = zip.ZipFileName();
    const double megabytes = double(mebibytes) * 1024 * 1024 / 1e6;
    std::printf("%lld MiB of text -> %lld bytes archive (AES)\n", mebibytes, zip.ArchiveSize());
    const long rssBefore = peakResidentKiB();
    qint64 bytes = 0;
    double seconds = -1;
    try {
        seconds = streamSeconds(archive, bytes);
    } catch (const KestrelError& error) {
        std::fprintf(stderr, "stream: %s\n", error.what());
    }
    if (seconds < 0 || bytes != mebibytes * 1024 * 1024)
        return 1;
    std::printf("  stream      %6.2f s  %7.1f MB/s  peak RSS %ld -> %ld KiB\n", seconds,
                megabytes / seconds, rssBefore, peakResidentKiB());
    std::fflush(stdout);
    seconds = libzipSeconds(archive);
    std::printf("  libzip      %6.2f s  %7.1f MB/s  (the downloaded file)\n", seconds,
                megabytes / seconds);
    seconds = sevenZipSeconds(archive);
    std::printf("  7zz t       %6.2f s  %7.1f MB/s  (reference, one thread)\n", seconds,
                megabytes / seconds);
    return 0;
}
