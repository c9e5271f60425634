#pragma once

#include <QString>

// The desktop notification that tells how a sequence ended, for a user who is not
// looking at the window: the edition and the outcome in the summary; what was sent,
// or the memo's line of why the sequence failed, in the body.
struct SequenceEndNotice
{
    QString summary;
    QString body;

    // filesSent and bytesSent count only what the server accepted (or what was
    // copied); maxReached: the byte limit stopped the sequence; filesWaiting, when not
    // negative: the message limit stopped it with that many files still due.
    static SequenceEndNotice succeeded(int filesSent, double bytesSent, bool maxReached,
                                       int filesWaiting = -1);
    // reasonLine is the memo's failure line; incomplete: the sequence went through
    // both lists but left some files out.
    static SequenceEndNotice failed(const QString& reasonLine, bool incomplete);
};
