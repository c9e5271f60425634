#pragma once

#include "restore/RestoreProgress.h"

#include <QStringList>

#include <functional>

// Keeps every status line and the last progress; cancels once cancelWhen says so.
class RecordingRestoreProgress : public RestoreProgress
{
public:
    void status(const QString& text) override { statuses.append(text); }
    void progress(qint64 done, qint64 total) override
    {
        lastDone = done;
        lastTotal = total;
    }
    bool cancelRequested() override { return cancelWhen && cancelWhen(); }

    QStringList statuses;
    qint64 lastDone = 0;
    qint64 lastTotal = 0;
    std::function<bool()> cancelWhen;
};
