#include "transport/DeflateStream.h"

#include "core/KestrelError.h"

#include <QFileDevice>

#include <zlib.h>

#include <memory>

namespace {

constexpr qsizetype ChunkSize = 256 * 1024;

struct DeflateEnd
{
    void operator()(z_stream* stream) const { deflateEnd(stream); }
};

QString inputName(const QIODevice& input)
{
    const auto* file = qobject_cast<const QFileDevice*>(&input);
    return file != nullptr ? file->fileName() : QStringLiteral("the input");
}

} // namespace

DeflateResult deflateStream(QIODevice& input, int level, const DeflateOutput& output,
                            const std::function<void(qint64 inputDone)>& progress)
{
    z_stream stream{};
    // -15: raw deflate with the largest window; 8: zlib's default memory level.
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw KestrelError(QStringLiteral("there is not enough memory"));
    const std::unique_ptr<z_stream, DeflateEnd> ending(&stream);

    DeflateResult result;
    result.crc32 = static_cast<quint32>(crc32(0, nullptr, 0));
    QByteArray in(ChunkSize, Qt::Uninitialized);
    QByteArray out(ChunkSize, Qt::Uninitialized);
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        const qint64 got = input.read(in.data(), in.size());
        if (got < 0)
            throw KestrelError(QStringLiteral("%1 could not be read: %2")
                                   .arg(inputName(input), input.errorString()));
        if (got == 0)
            flush = Z_FINISH;
        const auto* bytes = reinterpret_cast<const Bytef*>(in.constData());
        result.crc32 = static_cast<quint32>(crc32(result.crc32, bytes, uInt(got)));
        result.inputSize += got;
        stream.next_in = const_cast<Bytef*>(bytes);
        stream.avail_in = uInt(got);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = uInt(out.size());
            deflate(&stream, flush);
            const qsizetype produced = out.size() - stream.avail_out;
            if (produced > 0)
                output(out.constData(), produced);
        } while (stream.avail_out == 0);
        if (progress)
            progress(result.inputSize);
    }
    return result;
}
