#include "transport/DeflateStream.h"

#include "transport/ParallelDeflate.h"

#include <QFileDevice>

DeflateResult deflateStream(QIODevice& input, int level, const DeflateOutput& output,
                            const std::function<void(qint64 inputDone)>& progress)
{
    return ParallelDeflate::compress(input, level, output, progress);
}

QString inputDeviceName(const QIODevice& input)
{
    const auto* file = qobject_cast<const QFileDevice*>(&input);
    return file != nullptr ? file->fileName() : QStringLiteral("the input");
}
