#pragma once

#include "support/RecordingSequenceWindow.h"

#include <QElapsedTimer>

// The recording window of the sequence benchmarks, noting when the walks start and
// when they are done (the log tree is reloaded right after both walks, before the
// log itself is mailed).
class PhaseWindow : public RecordingSequenceWindow
{
public:
    void addStatusLine(const QString& line) override
    {
        if (line == QLatin1String("Processing files from files list..."))
            walkStartMs = timer.elapsed();
        RecordingSequenceWindow::addStatusLine(line);
    }
    void loadLogIntoTree() override
    {
        walkEndMs = timer.elapsed();
        RecordingSequenceWindow::loadLogIntoTree();
    }

    QElapsedTimer timer;
    qint64 walkStartMs = -1;
    qint64 walkEndMs = -1;
};
