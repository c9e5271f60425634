#include "transport/CompressionProbe.h"

#include <zlib.h>

namespace {

constexpr qint64 ProbeSize = 1024 * 1024;
constexpr int ProbeLevel = 1;
// Output beyond this share of the input means deflate does not pay.
constexpr int MostPercent = 97;

} // namespace

bool deflateShrinks(QIODevice& input)
{
    if (!input.seek(0))
        return false;
    const QByteArray sample = input.read(ProbeSize);
    if (!input.seek(0) || sample.isEmpty())
        return false;
    z_stream stream{};
    if (deflateInit2(&stream, ProbeLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    QByteArray out(qsizetype(deflateBound(&stream, uLong(sample.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(sample.constData()));
    stream.avail_in = uInt(sample.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = deflate(&stream, Z_FINISH);
    const qint64 deflatedSize = qint64(stream.total_out);
    deflateEnd(&stream);
    return status == Z_STREAM_END && deflatedSize * 100 <= sample.size() * MostPercent;
}
