#pragma once

#include "transport/DeflateStream.h"

#include <QIODevice>

#include <functional>

// Compresses a device into one raw deflate stream (no zlib or gzip wrapper, as a zip
// entry holds it) on several cores. The input is cut into blocks; each block is
// compressed on its own by a worker whose dictionary is primed with the 32 KiB of input
// before the block, and ends on a byte boundary (a sync flush), so the blocks' outputs
// laid end to end are one standard stream that loses almost nothing to the cuts.
//
// The input is read, and the output and progress delivered, on the calling thread only
// and in order. A fixed number of blocks is in flight at once, so memory does not grow
// with the input. Small inputs, and threads == 1, are compressed as one stream on the
// calling thread.
//
// A failed read throws KestrelError. Whatever the reason the call ends early (a failed
// read, an exception thrown by output or progress), the workers have stopped before it
// returns or throws.
class ParallelDeflate
{
public:
    static constexpr qsizetype BlockSize = 128 * 1024;
    // An input of this many blocks or fewer is not worth the workers.
    static constexpr int SmallInputBlocks = 4;
    // Each worker holds about 0.8 MiB (its deflate state and two blocks in flight, input
    // and output): the cap keeps a many-core machine's peak well under 64 MiB.
    static constexpr int MaxThreads = 32;

    // level as zlib takes it (0 to 9, or -1 for its default). threads 0 takes one worker
    // per core. progress, when set, is told after each block how much input is compressed.
    static DeflateResult compress(QIODevice& input, int level, const DeflateOutput& output,
                                  const std::function<void(qint64 inputDone)>& progress = {},
                                  int threads = 0);
};
