#pragma once

#include "sequence/SequenceWindow.h"

#include <QStringList>

#include <functional>

// A SequenceWindow without widgets: keeps the memo, the controls' states and the
// window state, and records every action in calls(). refreshFromSettings writes
// the summary lines as the Summary page does, so sequence data files read as they
// do in the program.
class RecordingSequenceWindow : public SequenceWindow
{
public:
    void addStatusLine(const QString& line) override;
    void clearStatus() override { memo = lasting; }
    void addLastingStatusLine(const QString& line) override;
    void clearLastingStatusLines() override { lasting.clear(); }
    void appendToLastStatusLine(const QString& text) override;
    void setStatusColour(StatusColour shown) override { colour = shown; }
    QStringList statusLines() const override { return memo; }

    void setProgressRange(int minimum, int maximum) override;
    void setProgressStep(int step) override { progressStep = step; }
    void stepProgress() override { progressPosition += progressStep; }
    void setProgressPosition(int position) override { progressPosition = position; }

    void setFileNumberText(const QString& text) override { fileNumber = text; }
    void setNumberOfFilesText(const QString& text) override { numberOfFiles = text; }
    void setProcessingCaption(const QString& caption) override { processingCaption = caption; }
    void setFileCountersVisible(bool visible) override { countersVisible = visible; }
    void setTransferText(const QString& text) override { transferTexts << text; }

    void setRunButtonEnabled(bool enabled) override { runEnabled = enabled; }
    void setCancelButtonEnabled(bool enabled) override { cancelEnabled = enabled; }

    SequenceChoices userChoices() const override
    {
        return SequenceChoices{type, subFolders, disconnectBox};
    }

    void saveUserChoices() override;
    void loadLogIntoTree() override { calls << QStringLiteral("loadLogIntoTree"); }
    void startFolderDotsTimer() override { calls << QStringLiteral("startFolderDotsTimer"); }
    void stopFolderDotsTimer() override { calls << QStringLiteral("stopFolderDotsTimer"); }
    void refreshFromSettings() override;
    void openShutDownCountdown() override { calls << QStringLiteral("openShutDownCountdown"); }
    void startShutDownDelayTimer() override { calls << QStringLiteral("startShutDownDelayTimer"); }
    void terminateApplication() override { calls << QStringLiteral("terminateApplication"); }
    bool isInFront() const override { return inFront; }
    void beep() override { calls << QStringLiteral("beep"); }

    // The summary lines of the memo, as the Summary page writes them.

    QStringList memo;
    QStringList lasting;
    // Every line ever added, also those a later clear removed.
    QStringList history;
    QStringList calls;
    StatusColour colour = StatusColour::Blue;
    int progressMinimum = 0;
    int progressMaximum = 100;
    int progressStep = 1;
    int progressPosition = 0;
    QString fileNumber;
    QString numberOfFiles;
    QString processingCaption;
    bool countersVisible = true;
    // Every transfer line, in order, the clearing empty ones included.
    QStringList transferTexts;
    bool runEnabled = true;
    bool cancelEnabled = false;
    BackUpType type = BackUpType::Incremental;
    bool subFolders = false;
    bool disconnectBox = false;
    // Whether the user has the window in front of them.
    bool inFront = false;
    // Runs inside saveUserChoices, for example to throw as a list that cannot be
    // written does.
    std::function<void()> onSaveUserChoices;
    // Runs after every status line, for example to cancel at a given step.
    std::function<void(const QString& line)> onStatusLine;
};
