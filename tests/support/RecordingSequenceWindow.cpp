#include "support/RecordingSequenceWindow.h"

#include "core/QuayRegistryObject.h"

void RecordingSequenceWindow::addStatusLine(const QString& line)
{
    memo << line;
    history << line;
}

void RecordingSequenceWindow::appendToLastStatusLine(const QString& text)
{
    if (memo.isEmpty())
        memo << QString();
    memo.last() += text;
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

QStringList RecordingSequenceWindow::summaryLines()
{
    const TQuayRegistryObject store;
    return {QStringLiteral("Last back up date: ") + store.ReadLastBackUp(),
            QStringLiteral("Number of files in last back up: ") +
                QString::number(store.ReadNumberOfFilesInLastSequence()),
            QStringLiteral("Total number of files processed: ") +
                QString::number(store.ReadFileIDNumber()),
            QStringLiteral("Total number of backed up runs: ") +
                QString::number(store.ReadNumberOfBackUpSequences()),
            QStringLiteral("Total number of bytes backed up: ") +
                QString::number(store.ReadNumberOfBytesBackedUp() / 1000000.0, 'g', 15) +
                QStringLiteral(" MB")};
}

void RecordingSequenceWindow::refreshFromSettings()
{
    calls << QStringLiteral("refreshFromSettings");
    memo.clear();
    for (const QString& line : summaryLines())
        addStatusLine(line);
    const TQuayRegistryObject store;
    if (store.ReadBackUpSequenceSuccess()) {
        addStatusLine(QStringLiteral("Last back up was successful."));
        colour = StatusColour::Blue;
    } else {
        addStatusLine(QStringLiteral("Last back up was unsuccessful. Please check you devices."));
        addStatusLine(QStringLiteral("For more details see the sequence data file: ") +
                      store.ReadSequenceFile());
        colour = StatusColour::Red;
    }
}
