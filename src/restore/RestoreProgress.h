#pragma once

#include <QString>

// What a restore, listing, log rebuild or check shows while it runs: the window's
// progress bar and status line, or lines on a stream for a run without a window.
class RestoreProgress
{
public:
    virtual ~RestoreProgress() = default;
    virtual void status(const QString& text) = 0;
    // Bytes done of the whole; total 0 when unknown.
    virtual void progress(qint64 done, qint64 total) = 0;
    // Asked between steps and while data arrives; true stops the work.
    virtual bool cancelRequested() { return false; }
};
