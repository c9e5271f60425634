#include "support/RecordingSequenceWindow.h"

#include "core/QuayRegistryObject.h"
#include "sequence/SequenceSummary.h"

void RecordingSequenceWindow::addStatusLine(const QString& line)
{
    memo << line;
    history << line;
    if (onStatusLine)
        onStatusLine(line);
}

void RecordingSequenceWindow::addLastingStatusLine(const QString& line)
{
    lasting << line;
    addStatusLine(line);
}

void RecordingSequenceWindow::appendToLastStatusLine(const QString& text)
{
    if (memo.isEmpty()) {
        memo << QString();
        history << QString();
    }
    // The history keeps each line as it ended up.
    memo.last() += text;
    if (!history.isEmpty())
        history.last() += text;
}

void RecordingSequenceWindow::setProgressRange(int minimum, int maximum)
{
    progressMinimum = minimum;
    progressMaximum = maximum;
}

void RecordingSequenceWindow::saveUserChoices()
{
    calls << QStringLiteral("saveUserChoices");
    if (onSaveUserChoices)
        onSaveUserChoices();
}

void RecordingSequenceWindow::refreshFromSettings()
{
    calls << QStringLiteral("refreshFromSettings");
    memo.clear();
    for (const QString& line : sequenceSummaryMemo())
        addStatusLine(line);
    colour = sequenceSummaryFailed() ? StatusColour::Red : StatusColour::Blue;
}
