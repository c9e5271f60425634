#pragma once

#include "sequence/SequenceWindow.h"

#include <QStringList>

#include <utility>

class QTextStream;

// The sequence's window when there is none (a run from the command line): every
// status line is written to a stream as it is added, the user's choices come from
// the settings store, and what would open a window after the sequence (the shut-down
// delay and countdown) is noted for the run to carry out once the sequence is over.
class HeadlessSequenceWindow : public SequenceWindow
{
public:
    HeadlessSequenceWindow(QTextStream& out, BackUpType type);

    void addStatusLine(const QString& line) override;
    // The lasting lines were printed when they came; they stay in the memo for the
    // sequence data file.
    void clearStatus() override { m_memo = m_lastingLines; }
    void addLastingStatusLine(const QString& line) override
    {
        m_lastingLines.append(line);
        addStatusLine(line);
    }
    void clearLastingStatusLines() override { m_lastingLines.clear(); }
    void appendToLastStatusLine(const QString& text) override;
    void setStatusColour(StatusColour) override {}
    QStringList statusLines() const override { return m_memo; }

    void setProgressRange(int, int) override {}
    void setProgressStep(int) override {}
    void stepProgress() override {}
    void setProgressPosition(int) override {}

    void setFileNumberText(const QString&) override {}
    void setNumberOfFilesText(const QString&) override {}
    void setProcessingCaption(const QString&) override {}
    void setFileCountersVisible(bool) override {}
    // A line of its own, not in the memo: the sequence data file keeps what happened.
    void setTransferText(const QString& text) override;

    void setRunButtonEnabled(bool) override {}
    void setCancelButtonEnabled(bool) override {}

    SequenceChoices userChoices() const override;

    // The lists are the files on disk and the settings are in the store already.
    void saveUserChoices() override {}
    void loadLogIntoTree() override {}
    // Dots on a line that is already written would only clutter a log of the run.
    void startFolderDotsTimer() override {}
    void stopFolderDotsTimer() override {}
    // Writes the summary into the memo, for the sequence data file; nothing is shown.
    void refreshFromSettings() override;
    void openShutDownCountdown() override { m_countdownOpened = true; }
    void startShutDownDelayTimer() override { m_delayStarted = true; }
    // The run ends with its sequence anyway.
    void terminateApplication() override {}
    // Nobody watches a run from a timer or a script: its end is told on the desktop
    // where the run has a session bus.
    bool isInFront() const override { return false; }
    // A bell character would only clutter a log of the run; its status line says it.
    void beep() override {}

    // Whether the end asked for the shut-down delay or the countdown since the last
    // call; each is then cleared.
    bool takeShutDownDelay() { return std::exchange(m_delayStarted, false); }
    bool takeShutDownCountdown() { return std::exchange(m_countdownOpened, false); }

private:
    QTextStream& m_out;
    BackUpType m_type;
    QStringList m_memo;
    QStringList m_lastingLines;
    bool m_delayStarted = false;
    bool m_countdownOpened = false;
};
