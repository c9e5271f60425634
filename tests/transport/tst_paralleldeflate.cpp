#include "core/KestrelError.h"
#include "transport/ParallelDeflate.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <stdexcept>
#include <zlib.h>

// Deflate on several cores: the joined blocks inflate to the input, the checksum is the
// whole input's, and a failure on either side stops the workers before the call ends.
class TestParallelDeflate : public QObject
{
    Q_OBJECT

private:
    static constexpr qsizetype Block = ParallelDeflate::BlockSize;

    static QByteArray text(qsizetype size)
    {
        static const char* const words[] = {"backup", "sequence", "the",    "archive", "log",
                                            "mail",   "of",       "folder", "report",  "2026",
                                            "a",      "restore",  "disc",   "drive",   "and"};
        QRandomGenerator random(7);
        QByteArray result;
        while (result.size() < size) {
            result += words[random.bounded(int(std::size(words)))];
            result += random.bounded(9) == 0 ? "\r\n" : " ";
        }
        result.truncate(size);
        return result;
    }

    static QByteArray randomBytes(qsizetype size)
    {
        QByteArray result(size, Qt::Uninitialized);
        QRandomGenerator random(11);
        for (char& byte : result)
            byte = char(random.bounded(256));
        return result;
    }

    static QByteArray inflateRaw(const QByteArray& compressed)
    {
        z_stream stream = {};
        if (inflateInit2(&stream, -15) != Z_OK)
            return "inflateInit2 failed";
        QByteArray result;
        QByteArray buffer(64 * 1024, Qt::Uninitialized);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.constData()));
        stream.avail_in = uInt(compressed.size());
        int status = Z_OK;
        while (status == Z_OK) {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            status = inflate(&stream, Z_NO_FLUSH);
            result.append(buffer.constData(), buffer.size() - stream.avail_out);
        }
        const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
        inflateEnd(&stream);
        return whole ? result : QByteArray("not one complete stream");
    }

    static QByteArray compressed(const QByteArray& input, int threads,
                                 DeflateResult* result = nullptr)
    {
        QBuffer device;
        device.setData(input);
        device.open(QIODevice::ReadOnly);
        QByteArray output;
        const DeflateResult made = ParallelDeflate::compress(
            device, 9, [&](const char* data, qsizetype size) { output.append(data, size); }, {},
            threads);
        if (result)
            *result = made;
        return output;
    }

    // Gives its data up to failAt, then fails as a vanished disk would.
    class FailingDevice : public QIODevice
    {
    public:
        FailingDevice(QByteArray data, qint64 failAt) : m_data(std::move(data)), m_failAt(failAt)
        {
            open(QIODevice::ReadOnly);
        }
        bool isSequential() const override { return true; }

    protected:
        qint64 readData(char* data, qint64 maxSize) override
        {
            if (m_read >= m_failAt) {
                setErrorString("input/output error");
                return -1;
            }
            const qint64 size = qMin(maxSize, m_failAt - m_read);
            memcpy(data, m_data.constData() + m_read, size_t(size));
            m_read += size;
            return size;
        }
        qint64 writeData(const char*, qint64) override { return -1; }

    private:
        QByteArray m_data;
        qint64 m_failAt;
        qint64 m_read = 0;
    };

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("threads");
        QTest::newRow("empty") << QByteArray() << 2;
        QTest::newRow("one byte") << QByteArray("x") << 2;
        QTest::newRow("exactly one block") << text(Block) << 2;
        QTest::newRow("one block and a byte") << text(Block + 1) << 2;
        QTest::newRow("text, one thread") << text(20 * Block + 333) << 1;
        QTest::newRow("text, two threads") << text(20 * Block + 333) << 2;
        QTest::newRow("text, four threads") << text(20 * Block + 333) << 4;
        QTest::newRow("text, a thread a core") << text(9 * Block + 5) << 0;
        QTest::newRow("whole blocks only") << text(6 * Block) << 2;
        QTest::newRow("random bytes") << randomBytes(7 * Block + 4321) << 4;
    }

    void roundTrip()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, threads);
        QBuffer device(&input);
        device.open(QIODevice::ReadOnly);
        QByteArray output;
        bool onCallingThread = true;
        QList<qint64> progress;
        const DeflateResult result = ParallelDeflate::compress(
            device, 9,
            [&](const char* data, qsizetype size) {
                onCallingThread &= QThread::currentThread() == thread();
                output.append(data, size);
            },
            [&](qint64 done) { progress << done; }, threads);

        QCOMPARE(inflateRaw(output), input);
        QCOMPARE(result.inputSize, input.size());
        QCOMPARE(result.crc32, quint32(crc32_z(0, reinterpret_cast<const Bytef*>(input.constData()),
                                               size_t(input.size()))));
        QVERIFY(onCallingThread);
        QVERIFY(std::is_sorted(progress.cbegin(), progress.cend()));
        QCOMPARE(progress.value(progress.size() - 1, 0), input.size());
    }

    // A pattern longer than what each block would need to repeat alone: were the blocks
    // not primed with the input before them, each would pay for the pattern again.
    void blocksReachBackIntoTheBlockBefore()
    {
        const QByteArray pattern = randomBytes(20 * 1024);
        const QByteArray input = pattern.repeated(100);
        const qsizetype oneStream = compressed(input, 1).size();
        const QByteArray parallel = compressed(input, 4);
        QCOMPARE(inflateRaw(parallel), input);
        QVERIFY2(parallel.size() < oneStream + oneStream / 10,
                 qPrintable(QString("%1 against %2").arg(parallel.size()).arg(oneStream)));
    }

    void failedReadThrows_data()
    {
        QTest::addColumn<qint64>("failAt");
        QTest::addColumn<int>("threads");
        QTest::newRow("in the first block") << qint64(1000) << 4;
        QTest::newRow("with the workers running") << qint64(12 * Block + 7) << 4;
        QTest::newRow("on one thread") << qint64(12 * Block + 7) << 1;
    }

    void failedReadThrows()
    {
        QFETCH(qint64, failAt);
        QFETCH(int, threads);
        FailingDevice device(text(30 * Block), failAt);
        try {
            ParallelDeflate::compress(
                device, 9, [](const char*, qsizetype) {}, {}, threads);
            QFAIL("the failed read was not reported");
        } catch (const KestrelError& error) {
            QVERIFY2(error.message().contains("input/output error"), error.what());
        }
    }

    void throwingOutputStopsTheWorkers()
    {
        QBuffer device;
        device.setData(text(40 * Block));
        device.open(QIODevice::ReadOnly);
        int calls = 0;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ParallelDeflate::compress(
                                                         device, 9,
                                                         [&](const char*, qsizetype) {
                                                             ++calls;
                                                             throw std::runtime_error("disc full");
                                                         },
                                                         {}, 4));
        QCOMPARE(calls, 1);
        // The calling thread stopped reading at once: no more than the blocks in flight.
        QVERIFY(device.pos() <= (ParallelDeflate::SmallInputBlocks + 2 * 4 + 2) * Block);
    }
};

QTEST_GUILESS_MAIN(TestParallelDeflate)
#include "tst_paralleldeflate.moc"
