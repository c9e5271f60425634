#include "transport/ParallelDeflate.h"

#include "core/KestrelError.h"

#include <QThread>

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

// The window of deflate: a block can refer back this far into the one before.
constexpr qsizetype DictionarySize = 32 * 1024;

// One z_stream making raw deflate, kept for many blocks so that its large state is
// allocated once per thread.
class RawDeflater
{
public:
    explicit RawDeflater(int level)
    {
        // Window bits -15: raw deflate with the full 32 KiB window; memory level 8 is
        // zlib's default.
        if (deflateInit2(&m_stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw KestrelError(
                QStringLiteral("The compressor could not start (level %1).").arg(level));
    }
    ~RawDeflater() { deflateEnd(&m_stream); }
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    // Starts a new stream whose matches may reach into dictionary.
    void restart(const char* dictionary, qsizetype size)
    {
        check(deflateReset(&m_stream));
        if (size > 0)
            check(deflateSetDictionary(&m_stream, reinterpret_cast<const Bytef*>(dictionary),
                                       uInt(size)));
    }

    // Compresses size bytes (at most one block) with the given zlib flush mode and hands
    // what deflate produces to sink.
    template <typename Sink> void deflate(const char* data, qsizetype size, int flush, Sink&& sink)
    {
        m_stream.next_in = reinterpret_cast<const Bytef*>(data);
        m_stream.avail_in = uInt(size);
        do {
            m_stream.next_out = m_buffer.data();
            m_stream.avail_out = uInt(m_buffer.size());
            check(::deflate(&m_stream, flush));
            const qsizetype produced = qsizetype(m_buffer.size() - m_stream.avail_out);
            if (produced > 0)
                sink(reinterpret_cast<const char*>(m_buffer.data()), produced);
        } while (m_stream.avail_out == 0);
    }

private:
    // Z_BUF_ERROR only says that a call could make no progress, which the loop above
    // allows for; every other failure means the stream is unusable.
    static void check(int status)
    {
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            throw KestrelError(
                QStringLiteral("The compressor failed (zlib error %1).").arg(status));
    }

    z_stream m_stream = {};
    std::vector<Bytef> m_buffer = std::vector<Bytef>(64 * 1024);
};

// Reads the input in whole blocks, and can read ahead to tell a small input from a
// large one.
class BlockReader
{
public:
    explicit BlockReader(QIODevice& input) : m_input(input) {}

    // The next block; empty once the input is used up.
    QByteArray next()
    {
        if (m_ahead.empty())
            return readBlock();
        QByteArray block = std::move(m_ahead.front());
        m_ahead.pop_front();
        return block;
    }

    bool hasMoreBlocksThan(int count)
    {
        while (qsizetype(m_ahead.size()) <= count && !m_ended) {
            QByteArray block = readBlock();
            if (block.isEmpty())
                break;
            m_ahead.push_back(std::move(block));
        }
        return qsizetype(m_ahead.size()) > count;
    }

private:
    // A short block is the last: reads stop once the device gives nothing more.
    QByteArray readBlock()
    {
        if (m_ended)
            return {};
        QByteArray block(ParallelDeflate::BlockSize, Qt::Uninitialized);
        qsizetype filled = 0;
        while (filled < block.size()) {
            const qint64 got = m_input.read(block.data() + filled, block.size() - filled);
            if (got < 0)
                throw KestrelError(QStringLiteral("%1 could not be read: %2")
                                       .arg(inputDeviceName(m_input), m_input.errorString()));
            if (got == 0)
                break;
            filled += qsizetype(got);
        }
        if (filled < block.size()) {
            m_ended = true;
            block.truncate(filled);
        }
        return block;
    }

    QIODevice& m_input;
    std::deque<QByteArray> m_ahead;
    bool m_ended = false;
};

quint32 crcOf(const QByteArray& data)
{
    return quint32(crc32_z(0, reinterpret_cast<const Bytef*>(data.constData()), data.size()));
}

DeflateResult compressOnThisThread(BlockReader& reader, int level, const DeflateOutput& output,
                                   const std::function<void(qint64)>& progress)
{
    RawDeflater deflater(level);
    DeflateResult result;
    for (;;) {
        const QByteArray block = reader.next();
        const bool last = block.isEmpty();
        deflater.deflate(block.constData(), block.size(), last ? Z_FINISH : Z_NO_FLUSH, output);
        if (last)
            return result;
        result.crc32 = quint32(crc32_combine(result.crc32, crcOf(block), block.size()));
        result.inputSize += block.size();
        if (progress)
            progress(result.inputSize);
    }
}

// One block on its way through a worker.
struct Job
{
    QByteArray input;
    // The block before (shared, not copied): its tail primes the dictionary.
    QByteArray previous;
    bool last = false;

    // Set by the worker; read by the calling thread once done is set.
    QByteArray output;
    quint32 crc = 0;
    std::exception_ptr error;
    bool done = false;
};

// A fixed set of threads compressing jobs in the order given. Jobs are handed out and
// collected on one thread; the destructor stops and joins the workers, so leaving the
// scope for any reason leaves no thread behind.
class DeflateWorkers
{
public:
    DeflateWorkers(int threads, int level) : m_level(level)
    {
        try {
            for (int i = 0; i < threads; ++i)
                m_threads.emplace_back([this] { work(); });
        } catch (...) {
            stop();
            throw;
        }
    }
    ~DeflateWorkers() { stop(); }
    DeflateWorkers(const DeflateWorkers&) = delete;
    DeflateWorkers& operator=(const DeflateWorkers&) = delete;

    qsizetype inFlight() const { return qsizetype(m_inOrder.size()); }

    void submit(std::shared_ptr<Job> job)
    {
        m_inOrder.push_back(job);
        {
            const std::lock_guard lock(m_mutex);
            m_waiting.push_back(std::move(job));
        }
        m_workToDo.notify_one();
    }

    // Waits for the oldest job in flight; rethrows what its worker threw.
    std::shared_ptr<Job> takeOldest()
    {
        std::shared_ptr<Job> job = std::move(m_inOrder.front());
        m_inOrder.pop_front();
        {
            std::unique_lock lock(m_mutex);
            m_jobDone.wait(lock, [&] { return job->done; });
        }
        if (job->error)
            std::rethrow_exception(job->error);
        return job;
    }

private:
    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_workToDo.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
        m_threads.clear();
    }

    void work()
    {
        std::optional<RawDeflater> deflater;
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(m_mutex);
                m_workToDo.wait(lock, [&] { return m_stopping || !m_waiting.empty(); });
                if (m_stopping)
                    return;
                job = std::move(m_waiting.front());
                m_waiting.pop_front();
            }
            try {
                if (!deflater)
                    deflater.emplace(m_level);
                compress(*deflater, *job);
            } catch (...) {
                job->error = std::current_exception();
            }
            {
                const std::lock_guard lock(m_mutex);
                job->done = true;
            }
            m_jobDone.notify_one();
        }
    }

    static void compress(RawDeflater& deflater, Job& job)
    {
        const qsizetype primed = std::min(job.previous.size(), DictionarySize);
        deflater.restart(job.previous.constData() + job.previous.size() - primed, primed);
        job.crc = crcOf(job.input);
        // Room for incompressible input and the flush marker, so appending never moves it.
        job.output.reserve(job.input.size() + job.input.size() / 64 + 64);
        // A sync flush ends the block's output on a byte boundary with no final-block
        // bit, so the next block's output can follow it directly.
        deflater.deflate(job.input.constData(), job.input.size(),
                         job.last ? Z_FINISH : Z_SYNC_FLUSH,
                         [&](const char* data, qsizetype size) { job.output.append(data, size); });
    }

    const int m_level;
    std::vector<std::thread> m_threads;
    // Touched by the calling thread only.
    std::deque<std::shared_ptr<Job>> m_inOrder;

    std::mutex m_mutex;
    std::condition_variable m_workToDo;
    std::condition_variable m_jobDone;
    std::deque<std::shared_ptr<Job>> m_waiting;
    bool m_stopping = false;
};

DeflateResult compressOnWorkers(BlockReader& reader, int level, const DeflateOutput& output,
                                const std::function<void(qint64)>& progress, int threads)
{
    DeflateWorkers workers(threads, level);
    // Two blocks a worker: one being compressed, one waiting, so no worker idles while
    // the calling thread delivers output or reads.
    const qsizetype maxInFlight = 2 * threads;
    DeflateResult result;
    QByteArray previous;
    QByteArray current = reader.next();
    for (;;) {
        while (!current.isEmpty() && workers.inFlight() < maxInFlight) {
            QByteArray following = reader.next();
            auto job = std::make_shared<Job>();
            job->input = current;
            job->previous = std::move(previous);
            job->last = following.isEmpty();
            workers.submit(std::move(job));
            previous = std::move(current);
            current = std::move(following);
        }
        if (workers.inFlight() == 0)
            return result;
        const std::shared_ptr<Job> job = workers.takeOldest();
        output(job->output.constData(), job->output.size());
        result.crc32 = quint32(crc32_combine(result.crc32, job->crc, job->input.size()));
        result.inputSize += job->input.size();
        if (progress)
            progress(result.inputSize);
    }
}

} // namespace

DeflateResult ParallelDeflate::compress(QIODevice& input, int level, const DeflateOutput& output,
                                        const std::function<void(qint64)>& progress, int threads)
{
    if (threads <= 0)
        threads = QThread::idealThreadCount();
    threads = std::clamp(threads, 1, MaxThreads);
    BlockReader reader(input);
    if (threads == 1 || !reader.hasMoreBlocksThan(SmallInputBlocks))
        return compressOnThisThread(reader, level, output, progress);
    return compressOnWorkers(reader, level, output, progress, threads);
}
