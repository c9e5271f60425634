// Deflates one large text file at level 9 on one thread, then on every core, in the same
// run, and prints each pass's rate, ratio and processor time, and the peak memory.
// The output is counted, not kept, so the figures are the compressor's own.
//
// Usage: bench_paralleldeflate [size in MiB, default 1024]. Run under /usr/bin/time -v
// for an outside view of the peak resident size.

#include "transport/ParallelDeflate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <sys/resource.h>

namespace {

// A vocabulary of made-up words whose use falls off with rank as in natural language,
// in lines of log-like text with dates, sizes and paths, so the compressor sees the
// mix of repetition and variety that real text files have.
class TextMaker
{
public:
    TextMaker() : m_random(20261211)
    {
        // Syllables of a consonant, a vowel and sometimes a closing consonant: enough
        // variety that runs of three letters are not all alike, as in real prose.
        static const char consonants[] = "bcdfghjklmnprstvwz";
        static const char vowels[] = "aeiouy";
        for (int i = 0; i < 6000; ++i) {
            QByteArray word;
            const int count = 1 + int(m_random.bounded(4));
            for (int s = 0; s < count; ++s) {
                word += consonants[m_random.bounded(int(sizeof consonants) - 1)];
                word += vowels[m_random.bounded(int(sizeof vowels) - 1)];
                if (m_random.bounded(3) == 0)
                    word += consonants[m_random.bounded(int(sizeof consonants) - 1)];
            }
            m_words << word;
        }
    }

    QByteArray line()
    {
        QByteArray text = QByteArray::number(2000 + m_random.bounded(27)) + '-' +
                          QByteArray::number(1 + m_random.bounded(12)) + '-' +
                          QByteArray::number(1 + m_random.bounded(28)) + ' ';
        const int words = 4 + int(m_random.bounded(14));
        for (int i = 0; i < words; ++i) {
            text += word();
            text += i + 1 < words ? ' ' : '.';
        }
        if (m_random.bounded(4) == 0)
            text += " /home/user/" + word() + '/' + word() + ".txt " +
                    QByteArray::number(m_random.bounded(1000000)) + " bytes";
        return text + "\r\n";
    }

private:
    // A uniform fraction cubed favours the first words, as use falls off with rank.
    const QByteArray& word()
    {
        const double u = m_random.generateDouble();
        return m_words[qMin(qsizetype(u * u * u * m_words.size()), m_words.size() - 1)];
    }

    QRandomGenerator m_random;
    QList<QByteArray> m_words;
};

bool writeSample(const QString& path, qint64 mebibytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    TextMaker maker;
    const qint64 size = mebibytes * 1024 * 1024;
    QByteArray chunk;
    for (qint64 written = 0; written < size;) {
        chunk.clear();
        while (chunk.size() < 1024 * 1024)
            chunk += maker.line();
        chunk.truncate(qMin<qint64>(chunk.size(), size - written));
        if (file.write(chunk) != chunk.size())
            return false;
        written += chunk.size();
    }
    return true;
}

struct Usage
{
    double cpuSeconds = 0;
    long peakResidentKiB = 0;
};

Usage usage()
{
    struct rusage self = {};
    getrusage(RUSAGE_SELF, &self);
    const auto seconds = [](const timeval& time) {
        return time.tv_sec + time.tv_usec / 1e6;
    };
    return {seconds(self.ru_utime) + seconds(self.ru_stime), self.ru_maxrss};
}

struct Pass
{
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 output = 0;
    DeflateResult result;
};

bool deflateFile(const QString& path, int threads, Pass& pass)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const Usage before = usage();
    QElapsedTimer timer;
    timer.start();
    pass.result = ParallelDeflate::compress(
        file, 9, [&](const char*, qsizetype size) { pass.output += size; }, {}, threads);
    pass.seconds = timer.elapsed() / 1000.0;
    pass.cpuSeconds = usage().cpuSeconds - before.cpuSeconds;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("sample.txt"));
    if (!writeSample(source, mebibytes)) {
        std::fprintf(stderr, "could not write the sample file\n");
        return 1;
    }
    const long peakBefore = usage().peakResidentKiB;

    const int cores = QThread::idealThreadCount();
    Pass one;
    Pass all;
    if (!deflateFile(source, 1, one) || !deflateFile(source, cores, all)) {
        std::fprintf(stderr, "could not read the sample file\n");
        return 1;
    }
    if (one.result.crc32 != all.result.crc32 || one.result.inputSize != all.result.inputSize) {
        std::fprintf(stderr, "the two passes saw different input\n");
        return 1;
    }

    const double megabytes = one.result.inputSize / 1e6;
    std::printf("source      %lld MiB of text, deflate level 9\n", mebibytes);
    for (const auto& [name, pass] : {std::pair{"1 thread", &one}, std::pair{"all cores", &all}})
        std::printf(
            "%-10s  %6.1f s  %6.1f MB/s  %lld bytes (ratio %.4f)  processor %.1f s (%.2f cores)\n",
            name, pass->seconds, megabytes / pass->seconds, pass->output,
            double(pass->output) / double(pass->result.inputSize), pass->cpuSeconds,
            pass->cpuSeconds / pass->seconds);
    std::printf("cores       %d, speed-up %.2fx\n", cores, one.seconds / all.seconds);
    std::printf("peak RSS    %ld KiB before deflating, %ld KiB after\n", peakBefore,
                usage().peakResidentKiB);
    return 0;
}
