#pragma once

#include <QStringList>

// The state of one run of the sequence driver, shared with the transport of the
// running edition.
struct SequenceRun
{
    // Cleared by any failure, a lost connection and the byte limit; the walks stop
    // on it.
    bool continueRun = true;
    // The byte limit stopped the run, which then still counts as successful.
    bool maxReached = false;
    // Bytes sent (or copied) in this run. A double, like the stored totals, so runs
    // past 2 GB count correctly.
    double bytesThisSequence = 0.0;
    // The per-run byte limit, read when the run starts.
    double maxBytes = 0.0;
    int fileIndex = 0;
    int totalFiles = 0;
    // The folders to walk, in walking order, each once.
    QStringList folderList;
};
