#pragma once

#include "sequence/CDBurnFileObjectList.h"
#include "sequence/SequenceChoices.h"
#include "sequence/SequenceStatusView.h"

#include <QStringList>

// The state of a backup sequence that lives beyond one call of the driver: what the
// window's Cancel, Exit and close, the end operations, the shut-down trigger and the
// drive and disc branches share. Its owner (the main window, or the run without a
// window) makes one and hands it by reference to the sequence and its end
// operations; nobody else keeps a copy.
struct SequenceState
{
    // Set by Cancel, Exit and the window's close, and when the connection cannot be
    // made; every loop of the driver tests it; cleared only when a sequence starts.
    bool SequenceCancelled = false;
    // The user stopped the sequence (Cancel, Exit, the window's close): its end reads
    // as stopped, not as failed, and asks nothing. Cleared when a sequence starts.
    bool cancelledByUser = false;
    // The running sequence was started because the session is ending.
    bool ShutDownTriggered = false;
    // Disc edition: a file did not fit on the medium.
    bool MediaFull = false;
    // Drive and disc editions: log lines of the files copied in this sequence, written by the
    // end operations.
    QStringList PendingLogLines;
    // Disc edition: the files staged for the current burn.
    TCDBurnFileObjectList BurnFileList;
    // What the user can do about the fault that stopped the sequence when it was no
    // connection fault (a refused log-in, a message the server refused); the failed
    // end says it in place of asking to check the connection. Cleared when a
    // sequence starts.
    QString failureAdvice;
    // The lines that said why the sequence stopped (the server's reply, the system's
    // reason, the path in full): the failed end repeats them below the summary that
    // replaces the memo, and in its warning. Cleared when a sequence starts.
    QStringList failureCauses;
    // The user's choices, read when the sequence started.
    SequenceChoices choices;

    // Shows a line that says why the sequence stops, and keeps it for the end.
    void reportCause(SequenceStatusView& status, const QString& line)
    {
        if (line.isEmpty())
            return;
        status.addStatusLine(line);
        failureCauses.append(line);
    }
    // Cancel, Exit or the window's close while a sequence runs.
    void cancelByUser()
    {
        SequenceCancelled = true;
        cancelledByUser = true;
    }
};
