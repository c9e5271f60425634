#pragma once

#include <QString>
#include <QStringList>

// What the sequence driver and its end operations need from the main window: the
// status memo, the progress controls, the two buttons, the user's choices and the
// window state of a sequence. The main window implements it on its pages; tests use
// a recording fake, so a whole sequence runs without widgets.
class SequenceWindow
{
public:
    enum class StatusColour
    {
        Blue, // running, or the last sequence succeeded
        Red   // the last sequence failed
    };
    enum class BackUpType
    {
        Incremental,
        Full
    };

    virtual ~SequenceWindow() = default;

    // The status memo of the Summary page, one line per event.
    virtual void addStatusLine(const QString& line) = 0;
    // Clears the memo but for its lasting lines.
    virtual void clearStatus() = 0;
    // Adds a line that clearing the memo keeps, so that what a sequence could not
    // back up stays in view while the memo is cleared before each file; the next
    // sequence forgets them when it starts.
    virtual void addLastingStatusLine(const QString& line) = 0;
    virtual void clearLastingStatusLines() = 0;
    virtual void appendToLastStatusLine(const QString& text) = 0;
    virtual void setStatusColour(StatusColour colour) = 0;
    // The memo's lines as shown, for the sequence data file.
    virtual QStringList statusLines() const = 0;

    // The progress bar.
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressStep(int step) = 0;
    virtual void stepProgress() = 0;
    virtual void setProgressPosition(int position) = 0;

    // The file counters: edbFileNumber, edbNumberOfFiles, the "of " label between
    // them and the caption before them.
    virtual void setFileNumberText(const QString& text) = 0;
    virtual void setNumberOfFilesText(const QString& text) = 0;
    virtual void setProcessingCaption(const QString& caption) = 0;
    virtual void setFileCountersVisible(bool visible) = 0;

    // btnRunBackUp and btnBackUpSequenceCancel.
    virtual void setRunButtonEnabled(bool enabled) = 0;
    virtual void setCancelButtonEnabled(bool enabled) = 0;

    // The user's choices as the controls show them now.
    virtual BackUpType backUpType() const = 0;
    // The "Back Up Sub Folders " box.
    virtual bool backUpSubFolders() const = 0;
    // The "Disconnect After Back Up Complete" box.
    virtual bool disconnectAfterBackUp() const = 0;

    // Stores the settings pages and writes both selection trees to their list files.
    // Throws KestrelError when a list cannot be written.
    virtual void saveUserChoices() = 0;
    // Reloads the log tree from the log file; stops early when the sequence is
    // cancelled during the load.
    virtual void loadLogIntoTree() = 0;
    // The 5 s timer that appends "." to the last status line while folders are
    // expanded.
    virtual void startFolderDotsTimer() = 0;
    virtual void stopFolderDotsTimer() = 0;
    // Reloads the setting controls and the Summary page and writes the summary into
    // the status memo.
    virtual void refreshFromSettings() = 0;
    // Opens the shut-down countdown window.
    virtual void openShutDownCountdown() = 0;
    // Starts the 30 s timer whose tick calls SequenceCompletion::ShutDownDelayElapsed.
    virtual void startShutDownDelayTimer() = 0;
    // Ends the program without the close question.
    virtual void terminateApplication() = 0;
};
