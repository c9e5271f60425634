#pragma once

#include <QIODevice>
#include <QString>

#include <functional>

// Receives the compressed stream piece by piece, in order.
using DeflateOutput = std::function<void(const char* data, qsizetype size)>;

// What a zip entry's header needs to know of the data that was compressed.
struct DeflateResult
{
    quint32 crc32 = 0;
    qint64 inputSize = 0;
};

// Raw deflate (no zlib or gzip wrapper) of a whole input, as a zip entry holds it:
// reads input from its current position to its end and hands the compressed bytes to
// output as they come; progress hears how much input has been compressed. A large
// input is deflated on every core (ParallelDeflate). Throws KestrelError when the
// input cannot be read.
DeflateResult deflateStream(QIODevice& input, int level, const DeflateOutput& output,
                            const std::function<void(qint64 inputDone)>& progress = {});

// The file name of a file device, for messages; "the input" for other devices.
QString inputDeviceName(const QIODevice& input);
