#pragma once

#include <QSet>
#include <QStringList>

#include <functional>

class SequenceStatusView;

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
    // Files whose archive the server accepted (or that were copied) in this run.
    int filesSent = 0;
    // The per-run byte limit, read when the run starts.
    double maxBytes = 0.0;
    // Messages the server accepted in this run, and the most it may send (0, no
    // limit). At the limit the walk goes on only to count the files still due.
    int messagesSent = 0;
    int maxMessages = 0;
    bool messageLimitReached = false;
    int filesWaiting = 0;
    int fileIndex = 0;
    // Told on the sequence's thread while a large file is on its way: the part of it
    // sent so far, 0 to 1.
    std::function<void(double part)> fileSent;
    // The walk has left the files list for the folders.
    bool walkingFolders = false;
    int totalFiles = 0;
    // The folders to walk, in walking order, each once.
    QStringList folderList;
    // What the run could not back up while it went on with the rest: files that could
    // not be read or that the server refused for their size, names no list or log
    // can hold, folders that could not be read. One sentence each, in the order
    // found, each once. Such a run ends as a failure, so the user is told.
    QStringList notBackedUp;
    // Adds the sentence unless it is there already, and shows it in the memo: the
    // first MaxLastingLines of them as lasting lines, which stay in view until the
    // run ends (more would cost every file as much as they are long).
    void reportNotBackedUp(SequenceStatusView& status, const QString& sentence);
    static constexpr qsizetype MaxLastingLines = 20;

private:
    QSet<QString> m_notBackedUpSeen;
};
