#pragma once

#include <QIODevice>

#include <functional>

// Raw deflate (no zlib or gzip wrapper) of a whole input, as a zip entry holds it.
using DeflateOutput = std::function<void(const char* data, qsizetype size)>;

struct DeflateResult
{
    quint32 crc32 = 0;
    qint64 inputSize = 0;
};

// Reads input from its current position to its end and hands the compressed bytes
// to output as they come; progress hears how much input has been read. Throws
// KestrelError when the input cannot be read.
DeflateResult deflateStream(QIODevice& input, int level, const DeflateOutput& output,
                            const std::function<void(qint64 inputDone)>& progress = {});
