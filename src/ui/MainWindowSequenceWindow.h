#pragma once

#include "sequence/SequenceWindow.h"

#include <functional>

class TfrmKestrelClientMain;

// The sequence's view of the main window: the status memo, progress controls and
// buttons of the Summary page, the choices on the other pages, the timers and the
// window state of a sequence.
class MainWindowSequenceWindow : public SequenceWindow
{
public:
    // loadLogIntoTree reloads the log tree view from the log file.
    MainWindowSequenceWindow(TfrmKestrelClientMain& window, std::function<void()> loadLogIntoTree);

    void addStatusLine(const QString& line) override;
    void clearStatus() override;
    void addLastingStatusLine(const QString& line) override;
    void clearLastingStatusLines() override { m_lastingLines.clear(); }
    void appendToLastStatusLine(const QString& text) override;
    void setStatusColour(StatusColour colour) override;
    QStringList statusLines() const override;

    void setProgressRange(int minimum, int maximum) override;
    void setProgressStep(int step) override { m_progressStep = step; }
    void stepProgress() override;
    void setProgressPosition(int position) override;

    void setFileNumberText(const QString& text) override;
    void setNumberOfFilesText(const QString& text) override;
    void setProcessingCaption(const QString& caption) override;
    void setFileCountersVisible(bool visible) override;
    void setTransferText(const QString& text) override;

    void setRunButtonEnabled(bool enabled) override;
    void setCancelButtonEnabled(bool enabled) override;

    SequenceChoices userChoices() const override;

    void saveUserChoices() override;
    void loadLogIntoTree() override;
    void startFolderDotsTimer() override;
    void stopFolderDotsTimer() override;
    void refreshFromSettings() override;
    void openShutDownCountdown() override;
    void startShutDownDelayTimer() override;
    void terminateApplication() override;
    bool isInFront() const override;
    void beep() override;

private:
    TfrmKestrelClientMain& m_window;
    std::function<void()> m_loadLogIntoTree;
    int m_progressStep = 1;
    QStringList m_lastingLines;
};
